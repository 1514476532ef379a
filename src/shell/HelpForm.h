#pragma once

#include <QWidget>

#include "files/HelpFile.h"

class QTextBrowser;
class QPushButton;

// A small read-only window showing one topic of the help file.
class HelpForm : public QWidget {
  Q_OBJECT
 public:
  explicit HelpForm(QWidget* parent = nullptr);
  void ShowTopic(const HelpTopic& topic);
  int TopicNumber() const { return topic_; }
  QString Text() const;

 private:
  QTextBrowser* text_;
  QPushButton* closeButton_;
  int topic_ = 0;
};
