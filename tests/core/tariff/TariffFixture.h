#pragma once

#include <gtest/gtest.h>

#include "FakeHost.h"
#include "core/files/DataFiles.h"
#include "core/tariff/PrintOutput.h"
#include "core/tariff/RecordViewer.h"

// A printer that fails, or records what it was given.
class FakePrinters : public PrinterOutputFactory {
 public:
  bool available = true;
  QStringList printed;
  bool closed = false;

  std::unique_ptr<PrintOutput> CreatePrinterOutput() override {
    return std::make_unique<Output>(*this);
  }

 private:
  class Output : public PrintOutput {
   public:
    explicit Output(FakePrinters& owner) : owner_(owner) {}
    bool Open() override {
      owner_.printed.clear();
      owner_.closed = false;
      return owner_.available;
    }
    bool WriteLine(const QString& line) override {
      owner_.printed << line;
      return true;
    }
    bool Close() override {
      owner_.closed = true;
      return true;
    }

   private:
    FakePrinters& owner_;
  };
};

inline CallRecord Rec(int day, int h, int m, int subscriber, int duration, int line,
                      const char* number) {
  CallRecord r;
  r.StartTime = MakeDateTime(QDate(2026, 12, day), QTime(h, m));
  r.Subscriber = static_cast<quint8>(subscriber);
  r.Duration = duration;
  r.CityLine = static_cast<quint8>(line);
  r.CallType = 1;
  r.DialledNumber = QString::fromLatin1(number);
  return r;
}

// Writes a month's data file holding these records, in this order.
inline void WriteMonth(FakeHost& host, int month, const std::vector<CallRecord>& records) {
  QString text = kDataFileHeader + QStringLiteral("\r\n");
  for (const CallRecord& r : records) text += CallRecordToText(r) + QStringLiteral("\r\n");
  host.WriteFile(DataFileName(month), Cp1251(text));
}

inline QStringList ShownLines(const RecordViewer& viewer) {
  QStringList lines;
  for (qsizetype row = 0; row < viewer.ShownCount(); ++row) lines << viewer.ShownLine(row);
  return lines;
}

inline QStringList LinesOf(const std::vector<CallRecord>& records) {
  QStringList lines;
  for (const CallRecord& r : records) lines << CallRecordToText(r);
  return lines;
}
