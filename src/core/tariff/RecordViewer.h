#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "core/files/CallRecords.h"

struct Environment;
class PrinterOutputFactory;
class PrintOutput;

// What the record viewer window shows and does, without the window: the record set of the last
// load, the three sorts, the two selections and the two prints. The shown text is a list of
// records in order; each shown line is the record's text line, which is also what printing
// reads.
class RecordViewer {
 public:
  RecordViewer(Environment& env, PrinterOutputFactory& printers);

  // Loads a month's records with the day and subscriber choices; true when at least one was
  // found. With none the shown text stays as it was, while the record set is now empty.
  bool LoadRecords(int month, int day, int subscriberChoice);

  void SortAbonentButtonClick() { Sort(1); }
  void SortDurationButtonClick() { Sort(2); }
  void SortCityLineButtonClick() { Sort(3); }
  void SelectPhoneButtonClick();
  void SelectDurationButtonClick();
  void SelectAllButtonClick() { ShowAll(); }
  void Print1ButtonClick() { Print(false); }
  void Print2ButtonClick() { Print(true); }

  // Sorts the whole record set (mode 1 subscriber, 2 duration, 3 city line) and shows all.
  void Sort(int mode);
  void ShowAll();
  // Shows the records whose number begins with exactly this text.
  void SelectPhone(const QString& prefix);
  // Shows the records of at least this many minutes; -1 or less shows all.
  void SelectDuration(int minimum);

  int SortMode() const { return sortMode_; }
  const std::vector<CallRecord>& Records() const { return *records_; }
  qsizetype ShownCount() const { return static_cast<qsizetype>(shownRows_.size()); }
  const CallRecord& ShownRecord(qsizetype row) const { return (*shownSet_)[shownRows_[row]]; }
  QString ShownLine(qsizetype row) const { return CallRecordToText(ShownRecord(row)); }
  // The shown text as the window's memo holds it: every line followed by CR LF.
  QString ShownText() const;

  // The window refreshes its memo when the shown text changes.
  std::function<void()> onShownChanged;
  // The window shows the hourglass over itself while printing.
  std::function<void(bool busy)> onPrinting;

  static int CompareSubscriber(const CallRecord& a, const CallRecord& b);
  static int CompareDuration(const CallRecord& a, const CallRecord& b);
  static int CompareCityLine(const CallRecord& a, const CallRecord& b);

  static const QString kPhoneCaption;
  static const QString kDurationCaption;

 private:
  template <class Keep>
  void ShowWhere(Keep keep);
  void Print(bool grouped);
  bool WritePrint(PrintOutput& out, bool grouped);

  Environment& env_;
  PrinterOutputFactory& printers_;
  std::shared_ptr<std::vector<CallRecord>> records_;
  int sortMode_ = 0;
  // The shown lines: rows of a record set, which is kept alive for them even when a later load
  // replaces the record set.
  std::shared_ptr<const std::vector<CallRecord>> shownSet_;
  std::vector<qint32> shownRows_;
};
