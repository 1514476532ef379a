#pragma once

#include <QString>
#include <QStringList>
#include <map>
#include <optional>

// Who is behind each extension, from the working directory's file "NorvelSubscribers.txt",
// written by hand in UTF-8:
//   # "#" starts a comment
//   20 = Иванов Иван; Бухгалтерия; 100-01     (name; department; cost centre)
//   21 = Склад                               (a name alone)
// Bills, the report, exports and the sync carry the names and departments; the station's own
// files and the windows of the design do not.
struct SubscriberEntry {
  QString name;
  QString department;  // empty: none
  QString costCentre;  // empty: none
};

class SubscriberDirectory {
 public:
  // The entry of an extension; null for one the file does not name.
  const SubscriberEntry* Of(int subscriber) const;
  // The department an extension is counted in: its own, or "без отдела".
  QString DepartmentOf(int subscriber) const;
  const std::map<int, SubscriberEntry>& Entries() const { return entries_; }
  // What the file probably gets wrong without being wrong: "Файл …, строка N: …".
  const QStringList& Warnings() const { return warnings_; }

  static const QString kNoDepartment;

 private:
  friend SubscriberDirectory ParseSubscriberDirectory(const QString&, const QString&);
  std::map<int, SubscriberEntry> entries_;
  QStringList warnings_;
};

inline constexpr char kSubscriberFileName[] = "NorvelSubscribers.txt";

// Reads the working directory's file; none when there is none. A mistake throws ConvertError
// naming the file, the line and what is wrong; nothing is read from half a file.
std::optional<SubscriberDirectory> LoadSubscriberDirectory(const QString& dir);
// The same from text, for tests; `fileName` names it in messages.
SubscriberDirectory ParseSubscriberDirectory(const QString& text, const QString& fileName);
