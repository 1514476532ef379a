#include "link/Thermometer.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QProgressBar>
#include <QScreen>
#include <QWindow>

namespace {

// Refuses every close while a station operation lets events through.
class RefuseClosing : public QObject {
 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() != QEvent::Close) return false;
    event->ignore();
    return true;
  }
};

}  // namespace

void ProcessWindowSystemEventsOnly() {
  RefuseClosing refuse;
  QCoreApplication::instance()->installEventFilter(&refuse);
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  QCoreApplication::instance()->removeEventFilter(&refuse);
}

TThermometerForm::TThermometerForm(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint) {
  setObjectName(QStringLiteral("ThermometerForm"));
  setWindowTitle(QStringLiteral("ThermometerForm"));
  setFixedSize(kWidth, kHeight);
  ProgressWin = new QProgressBar(this);
  ProgressWin->setObjectName(QStringLiteral("ProgressWin"));
  ProgressWin->setGeometry(0, 0, 521, 25);
  ProgressWin->setTextVisible(false);
  ProgressWin->setMinimum(0);
}

void TThermometerForm::StartProgress(const QString& caption, quint16 maximum) {
  setWindowTitle(caption);
  ProgressWin->setMinimum(0);
  ProgressWin->setMaximum(maximum);
  SetProgress(0);
  if (!isVisible()) {
    // It stands in the middle of the screen, over whatever window started the transfer.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
      move(screen->availableGeometry().center() - rect().center());
    }
  }
  show();
  raise();
  SetProgress(0);
}

void TThermometerForm::SetProgress(quint16 position) {
  ProgressWin->setValue(position);
  if (!isVisible()) return;
  // A window can be painted only once the window system has shown it, and the transfer keeps
  // the event loop from hearing that; so the window's own events are let through until then.
  // User input stays queued.
  if (windowHandle() && !windowHandle()->isExposed()) ProcessWindowSystemEventsOnly();
  repaint();
}

void TThermometerForm::EndProgress() {
  hide();
}
