#include "shell/HelpForm.h"

#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

HelpForm::HelpForm(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("HelpForm"));
  text_ = new QTextBrowser(this);
  text_->setReadOnly(true);
  text_->setOpenLinks(false);
  closeButton_ = new QPushButton(QStringLiteral("Закрыть"), this);
  connect(closeButton_, &QPushButton::clicked, this, &QWidget::hide);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text_);
  layout->addWidget(closeButton_, 0, Qt::AlignRight);
  resize(QFontMetrics(font()).horizontalAdvance(QString(84, u'n')) + 60, 560);
}

void HelpForm::ShowTopic(const HelpTopic& topic) {
  topic_ = topic.number;
  setWindowTitle(QStringLiteral("Справка: ") + topic.title);
  // The file's lines are kept as they stand; the title goes on top in bold.
  text_->setHtml(QStringLiteral("<h3>%1</h3><p style=\"white-space: pre-wrap\">%2</p>")
                     .arg(topic.title.toHtmlEscaped(), topic.text.toHtmlEscaped()));
  show();
  raise();
  activateWindow();
}

QString HelpForm::Text() const {
  return text_->toPlainText();
}
