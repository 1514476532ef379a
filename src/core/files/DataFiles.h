#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

#include "core/files/CallRecords.h"

// Monthly data files: "Data" + month right-aligned in two characters + ".txt" ("Data 1.txt" ..
// "Data12.txt"), each a header line and one text line per call, in Windows-1251 with CR LF. A
// month's file gathers that month of every year.

QString DataFileName(int month);
extern const QString kDataFileHeader;

// Sorts the records by start time and appends each to the file of its month, creating a file
// with its header line. The lines are on disk (flushed and synced) when it returns. On any
// failure every file is put back as it was and IoError is thrown, so that a retry stores each
// record exactly once.
void AppendCallRecords(const QString& dir, std::vector<CallRecord>& records);

// Room to reserve before loading a month: 0 without a file.
qsizetype EstimateRecordCount(const QString& dir, int month);

// Appends the records of a month's file to `records` in file order, keeping only day `day`
// (0: all days) and subscriber 19 + `subscriberChoice` (0: all subscribers). A line that is not
// a call record throws ConvertError naming the file and the line; the records before it are
// kept.
void LoadCallRecords(const QString& dir, int month, int day, int subscriberChoice,
                     std::vector<CallRecord>& records);
// The same, a record at a time and without keeping them, for months of any size.
void ForEachCallRecord(const QString& dir, int month, int day, int subscriberChoice,
                       const std::function<void(CallRecord&&)>& each);

// Sorts count records in place by an order function giving <0, 0 or >0. This is a quicksort
// that is not stable: records that compare equal end in the order its steps give, which the
// files and printouts of earlier versions show, so the steps are kept exactly.
template <class Order>
void SortCallRecords(CallRecord* records, qsizetype count, Order order) {
  if (count < 2) return;
  qsizetype lo = 0;
  qsizetype hi = count - 1;
  for (;;) {
    const CallRecord pivot = records[(lo + hi) / 2];
    qsizetype i = lo;
    qsizetype j = hi;
    do {
      while (order(records[i], pivot) < 0) ++i;
      while (order(records[j], pivot) > 0) --j;
      if (i <= j) {
        std::swap(records[i], records[j]);
        ++i;
        --j;
      }
    } while (i <= j);
    // The two ranges are sorted independently of each other, so the smaller one is sorted by
    // recursion and the larger by the loop: the result is that of the plain recursion, with
    // the stack bounded for any input.
    const bool leftSmaller = j - lo < hi - i;
    if (leftSmaller) {
      if (lo < j) SortCallRecords(records + lo, j - lo + 1, order);
      if (i >= hi) return;
      lo = i;
    } else {
      if (i < hi) SortCallRecords(records + i, hi - i + 1, order);
      if (lo >= j) return;
      hi = j;
    }
  }
}

// Order by start time alone, as the data files are written.
int CompareStartTime(const CallRecord& a, const CallRecord& b);
