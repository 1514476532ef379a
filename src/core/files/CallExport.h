#pragma once

#include <QString>

class QString;
class QIODevice;

// A month's calls for a spreadsheet: the same loader and filters as the analysis window, one
// row per call, or one row per subscriber with the month's totals. The month is streamed, so a
// file of any size takes the same memory.
struct ExportOptions {
  enum class Format { kCsv, kTsv };
  int month = 0;
  int day = 0;         // 0: all days
  int subscriber = 0;  // 0: all subscribers, otherwise 20..43
  Format format = Format::kCsv;
  bool totals = false;
};

// Writes the rows to `out`; gives the number of calls exported. Throws IoError or ConvertError
// (naming the file and line) as the loader does, and IoError when `out` cannot be written.
qint64 ExportCalls(const QString& dir, const ExportOptions& options, QIODevice& out);

// A field as RFC 4180 wants it in a CSV file: quoted, with its quotes doubled, when it holds a
// comma, a quote or a line break, or always when `alwaysQuote` (numbers that are text).
QString CsvField(const QString& value, bool alwaysQuote = false);
