#pragma once

#include <QString>
#include <stdexcept>

// Unexpected failures of input/output or conversion. They end the current user action and are
// shown by the application's general error handler; everything else reports by results.
class NorvelError : public std::runtime_error {
 public:
  explicit NorvelError(const QString& message)
      : std::runtime_error(message.toStdString()), message_(message) {}
  const QString& Message() const { return message_; }

 private:
  QString message_;
};

// A file could not be opened, read, created or written, or held a number that is not one.
class IoError : public NorvelError {
 public:
  using NorvelError::NorvelError;
};

// The settings file could not be read or written: a failure of its own, since the calls of a
// reception may be safe while the settings file is not.
class SettingsFileError : public IoError {
 public:
  using IoError::IoError;
};

// A text that should hold a value (a date-time in a data line) does not.
class ConvertError : public NorvelError {
 public:
  using NorvelError::NorvelError;
};
