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
  resize(520, 420);
}

void HelpForm::ShowTopic(const HelpTopic& topic) {
  topic_ = topic.number;
  setWindowTitle(QStringLiteral("Справка: ") + topic.title);
  text_->setPlainText(topic.title + QStringLiteral("\n\n") + topic.text);
  show();
  raise();
  activateWindow();
}

QString HelpForm::Text() const {
  return text_->toPlainText();
}
