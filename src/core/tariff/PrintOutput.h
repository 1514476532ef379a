#pragma once

#include <QString>
#include <memory>

// Where a print goes: opened for one print, written line by line, closed at its end. Every
// method gives a success flag.
class PrintOutput {
 public:
  virtual ~PrintOutput() = default;
  virtual bool Open() = 0;
  // One line, without its line end.
  virtual bool WriteLine(const QString& line) = 0;
  // Ends the output; on a printer this sends the job.
  virtual bool Close() = 0;
};

inline constexpr char kPrintFileName[] = "PrintFile.txt";

// "PrintFile.txt" in the working directory, emptied first: Windows-1251, CR LF.
class PrintFileOutput : public PrintOutput {
 public:
  explicit PrintFileOutput(const QString& dir);
  ~PrintFileOutput() override;
  bool Open() override;
  bool WriteLine(const QString& line) override;
  bool Close() override;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Makes the printer's output for each print; the windows give the system's printer, tests a
// PDF file.
class PrinterOutputFactory {
 public:
  virtual ~PrinterOutputFactory() = default;
  virtual std::unique_ptr<PrintOutput> CreatePrinterOutput() = 0;
};
