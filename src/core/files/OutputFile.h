#pragma once

#include <QFile>
#include <QString>

// A file the program writes for the user (-o of export, bill and report), made beside its final
// name and put in place only when it is complete: a full disk, a killed process or a writer
// that gave up leave the old file as it was, never a cut one under its name.
class OutputFile {
 public:
  explicit OutputFile(const QString& path);
  // Removes the unfinished file unless Commit put it in place.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Where writers that take a file name (the PDF writer, an image) write.
  const QString& UnfinishedPath() const { return unfinished_; }
  // For writers that stream: the unfinished file, opened unbuffered so that every write's
  // failure carries the system's reason.
  QFile* Open(QString* reason);

  // What makes a file of this kind complete, checked on the bytes on disk before it is put in
  // place: a PDF ends with its end mark, a PNG with its IEND chunk.
  enum class Kind { kAny, kPdf, kPng };
  static bool Complete(const QString& path, Kind kind);
  // Checks every write and the file's end, syncs it and renames it over the old file. False
  // with the reason when anything failed; the old file then stays.
  bool Commit(Kind kind, QString* reason);

 private:
  QString path_;
  QString unfinished_;
  QFile file_;
  bool committed_ = false;
};

// Writes all of `bytes`, going on after a short write until the system refuses one, so that a
// failure carries the system's reason in the device's errorString (a first short write, such
// as the one that fills the disk, has none). False on failure.
bool WriteWhole(QIODevice& out, QByteArrayView bytes);
