#pragma once

#include <QWidget>

#include "core/files/HelpFile.h"

class QTextBrowser;
class QPushButton;

// A small read-only window showing one topic of the help file. Like a help program of its own,
// it is never blocked by the program's modal windows: asked for from a modal table, it stands
// over that table as its companion window, so it opens in front of it, scrolls and closes while
// the table is open, and goes on working after the table has closed. Esc closes it.
class HelpForm : public QWidget {
  Q_OBJECT
 public:
  explicit HelpForm(QWidget* parent = nullptr);
  // Shows the topic; `modal` is the modal window open at the moment, if any.
  void ShowTopic(const HelpTopic& topic, QWidget* modal = nullptr);
  int TopicNumber() const { return topic_; }
  QString Text() const;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QTextBrowser* text_;
  QPushButton* closeButton_;
  int topic_ = 0;
};
