#include "ui/shell/HelpForm.h"

#include <QKeyEvent>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>
#include <QWindow>

HelpForm::HelpForm(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("HelpForm"));
  text_ = new QTextBrowser(this);
  text_->setReadOnly(true);
  text_->setOpenLinks(false);
  closeButton_ = new QPushButton(QStringLiteral("Закрыть"), this);
  closeButton_->setAutoDefault(true);
  connect(closeButton_, &QPushButton::clicked, this, &QWidget::hide);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text_);
  layout->addWidget(closeButton_, 0, Qt::AlignRight);
  resize(QFontMetrics(font()).horizontalAdvance(QString(84, u'n')) + 60, 560);
}

void HelpForm::ShowTopic(const HelpTopic& topic, QWidget* modal) {
  topic_ = topic.number;
  // A window that belongs to the modal window (its transient) is the one kind of window a
  // modal window lets through; the window system keeps it above its modal owner as well.
  // Modality is judged when a window is shown, so a shown help window is shown anew.
  QWindow* owner = modal ? modal->window()->windowHandle() : nullptr;
  winId();
  if (windowHandle()->transientParent() != owner) {
    hide();
    windowHandle()->setTransientParent(owner);
  }
  setWindowTitle(QStringLiteral("Справка: ") + topic.title);
  // The file's lines are kept as they stand; the title goes on top in bold.
  text_->setHtml(QStringLiteral("<h3>%1</h3><p style=\"white-space: pre-wrap\">%2</p>")
                     .arg(topic.title.toHtmlEscaped(), topic.text.toHtmlEscaped()));
  show();
  raise();
  activateWindow();
}

void HelpForm::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    hide();
    return;
  }
  QWidget::keyPressEvent(event);
}

QString HelpForm::Text() const {
  return text_->toPlainText();
}
