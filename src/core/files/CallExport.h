#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <vector>

#include "core/image/ImageLayout.h"

class QIODevice;

struct ExportRow;

// A month's calls for a spreadsheet: the month file's calls chosen by year, day and subscriber
// (the loader's filters and a year, since a month file gathers that month of every year), one
// row per call, or one row per subscriber with the month's totals. The month is streamed, so a
// file of any size takes the same memory, and read straight from its bytes, so a million calls
// export in a fraction of a second.
struct ExportOptions {
  enum class Format { kCsv, kTsv };
  int month = 0;
  int day = 0;         // 0: all days
  int subscriber = 0;  // 0: all subscribers, otherwise 20..43
  Format format = Format::kCsv;
  bool totals = false;
  int year = 0;  // 0: the latest year in the file
  // Columns added after the number of each call row (the zone and cost of a tariff table):
  // their headings, and their values for a row, in UTF-8. The fields are kept from row to row
  // and given back to be filled again, so that a million rows reuse one set of buffers.
  QStringList extraHeading;
  using Fields = std::vector<QByteArray>;
  std::function<void(const ExportRow&, Fields&)> extraFields;

  static ExportOptions Of(int month, int day, int subscriber, Format format, bool totals,
                          int year = 0) {
    ExportOptions options;
    options.month = month;
    options.day = day;
    options.subscriber = subscriber;
    options.format = format;
    options.totals = totals;
    options.year = year;
    return options;
  }
};

// One call as an export writes it: the dialled number in UTF-8, without the filler blank that
// an odd count of digits leaves at its end in the month file.
struct ExportRow {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int subscriber = 0;
  int duration = -1;  // -1: unknown
  int cityLine = 0;
  int callType = 0;
  QByteArray number;
};

// Which year an export took, and how many calls of other years the month file held.
struct ExportSelection {
  int year = 0;
  qint64 leftOut = 0;
  // Calls of the chosen year with values no station gives (a subscriber outside 20..43, a city
  // line outside 1..8, a duration above 1440 minutes): read as they stand, and counted so the
  // command can say so.
  qint64 outOfRange = 0;
  // The number of a last line without its line end, left out by every reader and by the sync
  // alike; 0 when the file ends with a line end.
  int unfinishedLine = 0;
};

// "Data12.txt: 3 разговора со значениями вне станции ..." for a command's standard error;
// empty when there are none.
QString OutOfRangeNote(int month, qint64 count);

// "Data12.txt, line 57: no line end; ..." for a command's standard error; empty for line 0.
QString UnfinishedLineNote(int month, int line);

// The latest year among the month file's calls, read from their dates alone; 0 for a file
// without calls or none at all. Throws as ForEachExportRow does.
int LatestYear(const QString& dir, int month);

// Calls `each` for the chosen calls of the month file, in file order. A line that is no call
// record throws ConvertError naming the file, the line's number and its text; a file that
// cannot be read throws IoError.
ExportSelection ForEachExportRow(const QString& dir, const ExportOptions& options,
                                 const std::function<void(const ExportRow&)>& each);

// Writes the rows as CSV (UTF-8 with a byte order mark, the number always quoted) or TSV to
// `out`; gives the number of calls exported. Throws as ForEachExportRow does, and IoError when
// `out` cannot be written.
qint64 ExportCalls(const QString& dir, const ExportOptions& options, QIODevice& out,
                   ExportSelection* selection = nullptr);

// The totals of one subscriber or of all: calls, calls of unknown duration, minutes, the
// longest call, and calls per city line (index 0: none).
struct ExportTotals {
  qint64 calls = 0;
  qint64 unknownDuration = 0;
  qint64 minutes = 0;
  qint64 longest = 0;
  qint64 perLine[kMaxCityLines + 1] = {};
  void Add(const ExportRow& row);
};

// The chosen calls summed per subscriber and over all of them.
struct ExportSums {
  std::map<int, ExportTotals> bySubscriber;
  ExportTotals all;
};
ExportSelection SumExportRows(const QString& dir, const ExportOptions& options, ExportSums& sums);

// One line of a month file (without its line end) as a row; `number` is its line number in the
// file, for the message. A line that is no call record throws ConvertError naming the file, the
// line's number and its text.
ExportRow ParseMonthLine(QByteArrayView line, const QString& fileName, int number);

// A line's start minute as one number, yyyyMMddhhmm, read from its date alone where it has the
// program's own form; 0 for a line that is no call (its full reading says why).
qint64 LineStartMinute(QByteArrayView line);

// The column names of an export: one row per call, or the totals.
QStringList ExportHeading(bool totals);

// A field as RFC 4180 wants it in a CSV file: quoted, with its quotes doubled, when it holds a
// comma, a quote or a line break, or always when `alwaysQuote` (numbers that are text).
QString CsvField(const QString& value, bool alwaysQuote = false);
