#include "core/files/HelpFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include "core/files/TextFiles.h"

std::optional<HelpFile> HelpFile::Load(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  const QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) return std::nullopt;
  return Parse(DecodeCp1251(bytes));
}

HelpFile HelpFile::Parse(QStringView text) {
  static const QRegularExpression heading(QStringLiteral(R"(^\[(\d{1,6})\]\s*(.*)$)"));
  HelpFile help;
  HelpTopic* current = nullptr;
  for (const QString& line : SplitLines(text)) {
    const QRegularExpressionMatch match = heading.match(line);
    if (match.hasMatch()) {
      HelpTopic topic;
      topic.number = match.captured(1).toInt();
      topic.title = match.captured(2).trimmed();
      current = &(help.topics_[topic.number] = topic);
      continue;
    }
    if (!current) continue;
    current->text += line;
    current->text += u'\n';
  }
  for (HelpTopic& topic : help.topics_) {
    while (topic.text.startsWith(u'\n')) topic.text.remove(0, 1);
    while (topic.text.endsWith(QLatin1String("\n\n"))) topic.text.chop(1);
  }
  return help;
}

std::optional<HelpTopic> HelpFile::Topic(int number) const {
  const auto found = topics_.constFind(number);
  if (found == topics_.constEnd()) return std::nullopt;
  return *found;
}

QString FindHelpFile(const QStringList& directories) {
  for (const QString& directory : directories) {
    const QString path = QDir(directory).filePath(QLatin1String(kHelpFileName));
    if (QFileInfo(path).isFile()) return path;
  }
  return {};
}
