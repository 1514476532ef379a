#include "core/costs/SubscriberDirectory.h"

#include <QHash>

#include "core/base/Errors.h"
#include "core/files/RegularFile.h"
#include "core/image/ImageLayout.h"

const QString SubscriberDirectory::kNoDepartment = QStringLiteral("без отдела");

const SubscriberEntry* SubscriberDirectory::Of(int subscriber) const {
  const auto found = entries_.find(subscriber);
  return found == entries_.end() ? nullptr : &found->second;
}

QString SubscriberDirectory::DepartmentOf(int subscriber) const {
  const SubscriberEntry* entry = Of(subscriber);
  return entry && !entry->department.isEmpty() ? entry->department : kNoDepartment;
}

SubscriberDirectory ParseSubscriberDirectory(const QString& text, const QString& fileName) {
  SubscriberDirectory directory;
  QHash<int, int> lines;                                // extension -> the line that named it
  QHash<QString, std::pair<QString, int>> departments;  // folded -> as first written, its line
  const QStringList all = text.split(u'\n');
  for (int i = 0; i < all.size(); ++i) {
    const auto fail = [&](const QString& what) {
      throw ConvertError(
          QStringLiteral("Файл %1, строка %2: %3").arg(fileName).arg(i + 1).arg(what));
    };
    QString line = all[i];
    // "#" starts a comment at the start of a line or after a space; glued to a word ("Склад#2")
    // it is part of the name.
    for (qsizetype hash = line.indexOf(u'#'); hash >= 0; hash = line.indexOf(u'#', hash + 1)) {
      if (hash > 0 && !line[hash - 1].isSpace()) continue;
      if (line.indexOf(u';', hash) >= 0 && line.left(hash).contains(u'=')) {
        fail(
            QStringLiteral("после «#» идет «;»: «#» начинает комментарий и отрезал бы отдел "
                           "(в имени пишите «#» без пробела перед ним, «№» или уберите его)"));
      }
      line.truncate(hash);
      break;
    }
    line = line.trimmed();
    if (line.isEmpty()) continue;
    const qsizetype equals = line.indexOf(u'=');
    if (equals < 0) fail(QStringLiteral("нужно «номер = имя; отдел; центр затрат»"));
    bool number = false;
    const QString key = line.left(equals).trimmed();
    const int subscriber = key.toInt(&number);
    if (!number || subscriber < kFirstSubscriber || subscriber > kLastSubscriber) {
      fail(QStringLiteral("«%1» — не номер абонента станции (20..43)").arg(ShortEcho(key)));
    }
    if (lines.contains(subscriber)) {
      fail(QStringLiteral("абонент %1 уже назван в строке %2")
               .arg(subscriber)
               .arg(lines[subscriber]));
    }
    const QStringList parts = line.mid(equals + 1).split(u';');
    if (parts.size() > 3) fail(QStringLiteral("больше трех частей через «;»"));
    if (parts.size() == 1 && parts[0].contains(u',')) {
      fail(QStringLiteral("части разделены «,»: нужно «имя; отдел; центр затрат» через «;»"));
    }
    SubscriberEntry entry;
    entry.name = parts.value(0).trimmed();
    entry.department = parts.value(1).trimmed();
    entry.costCentre = parts.value(2).trimmed();
    if (entry.name.isEmpty()) fail(QStringLiteral("у абонента %1 нет имени").arg(subscriber));
    lines.insert(subscriber, i + 1);
    // Two spellings of one department would be two departments with the calls split between.
    if (!entry.department.isEmpty()) {
      const QString folded = entry.department.simplified().toCaseFolded();
      const auto first = departments.constFind(folded);
      if (first == departments.cend()) {
        departments.insert(folded, {entry.department, i + 1});
      } else if (first->first != entry.department) {
        directory.warnings_ << QStringLiteral(
                                   "Файл %1, строка %2: отдел «%3» отличается от «%4» (строка "
                                   "%5) только регистром или пробелами; это два отдела")
                                   .arg(fileName)
                                   .arg(i + 1)
                                   .arg(entry.department, first->first)
                                   .arg(first->second);
      }
    }
    directory.entries_[subscriber] = entry;
  }
  return directory;
}

std::optional<SubscriberDirectory> LoadSubscriberDirectory(const QString& dir) {
  const std::optional<QString> text =
      ReadHandWrittenFile(dir, QLatin1String(kSubscriberFileName), 1 << 20);
  if (!text) return std::nullopt;
  return ParseSubscriberDirectory(*text, QLatin1String(kSubscriberFileName));
}
