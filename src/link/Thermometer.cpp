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
  drawnLength_ = -1;
  sinceDrawn_.invalidate();
  SetProgress(0);
}

void TThermometerForm::SetProgress(quint16 position) {
  // The bar takes every position, but without painting it: a transfer reports every byte.
  ProgressWin->setUpdatesEnabled(false);
  ProgressWin->setValue(position);
  ProgressWin->setUpdatesEnabled(true);
  if (!isVisible()) return;
  // The window is drawn again only when the bar's drawn length has changed, and no more often
  // than a screen can show it.
  const int range = ProgressWin->maximum() - ProgressWin->minimum();
  const int length =
      range > 0 ? ProgressWin->width() * (position - ProgressWin->minimum()) / range : 0;
  if (length == drawnLength_ || (sinceDrawn_.isValid() && sinceDrawn_.elapsed() < kMinFrameMs)) {
    return;
  }
  drawnLength_ = length;
  sinceDrawn_.start();
  // A window can be painted only once the window system has shown it, and the transfer keeps
  // the event loop from hearing that; so the window system's events are let through until then.
  if (windowHandle() && !windowHandle()->isExposed()) ProcessWindowSystemEventsOnly();
  repaint();
}

void TThermometerForm::EndProgress() {
  hide();
}
