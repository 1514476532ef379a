#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <optional>

// "Norvel.hlp": the program's help, in a plain format of its own. The file is Windows-1251 text;
// a line "[N] Title" begins topic N, and the lines up to the next such line are its text. Lines
// before the first topic are comments.
struct HelpTopic {
  int number = 0;
  QString title;
  QString text;
};

inline constexpr char kHelpFileName[] = "Norvel.hlp";

class HelpFile {
 public:
  // Reads and parses a help file; nullopt when it cannot be read.
  static std::optional<HelpFile> Load(const QString& path);
  static HelpFile Parse(QStringView text);

  std::optional<HelpTopic> Topic(int number) const;
  QList<int> Numbers() const { return topics_.keys(); }

 private:
  QMap<int, HelpTopic> topics_;
};

// The help file in the first of the directories that holds one; empty when none does.
QString FindHelpFile(const QStringList& directories);
