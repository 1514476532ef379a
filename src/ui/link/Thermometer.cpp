#include "ui/link/Thermometer.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QProgressBar>
#include <QScreen>
#include <QThread>
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
  ProgressWin->installEventFilter(this);
}

void TThermometerForm::StartProgress(const QString& caption, quint16 maximum) {
  setWindowTitle(caption);
  ProgressWin->setRange(0, maximum);
  ProgressWin->setValue(0);
  drawnLength_ = -1;
  burst_ = false;
  if (!isVisible()) {
    // It stands in the middle of the screen, over whatever window started the transfer.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
      move(screen->availableGeometry().center() - rect().center());
    }
    shownOnScreen_ = false;
    exposeArrived_ = false;
    show();
    raise();
    if (!watchingWindow_ && windowHandle()) {
      windowHandle()->installEventFilter(this);
      watchingWindow_ = true;
    }
    AwaitShowing(kShowingWaitMs);
  }
  Draw(0);
}

void TThermometerForm::SetProgress(quint16 position) {
  if (!isVisible()) return;
  const int length = LengthAt(position);
  if (length == drawnLength_) return;
  // Bursts of positions are drawn no faster than a screen shows them. The last position is
  // always drawn, so that a finished transfer shows a full bar, and so is the first after the
  // window's own first picture, which a slow step (the write preparation's) would otherwise
  // leave unseen for seconds.
  const bool last = position >= ProgressWin->maximum();
  if (!last && burst_ && sinceDrawn_.elapsed() < kMinFrameMs) return;
  Draw(position);
  burst_ = true;
}

void TThermometerForm::EndProgress() {
  hide();
}

bool TThermometerForm::StepAside() {
  if (!isVisible()) return false;
  hide();
  return true;
}

void TThermometerForm::ComeBack() {
  shownOnScreen_ = false;
  exposeArrived_ = false;
  show();
  raise();
  AwaitShowing(kShowingWaitMs);
  Draw(static_cast<quint16>(ProgressWin->value()));
}

int TThermometerForm::LengthAt(int position) const {
  const int range = ProgressWin->maximum() - ProgressWin->minimum();
  if (range <= 0) return 0;
  const int done = qBound(0, position - ProgressWin->minimum(), range);
  return static_cast<int>(qint64(ProgressWin->width()) * done / range);
}

void TThermometerForm::Draw(quint16 position) {
  if (!shownOnScreen_) AwaitShowing(0);
  // The bar repaints itself at once when it sees a change big enough to draw; when it does
  // not, the window is repainted here, so that one picture is drawn either way.
  const int paintsBefore = barPaints_;
  ProgressWin->setValue(position);
  drawnLength_ = LengthAt(position);
  sinceDrawn_.start();
  if (barPaints_ == paintsBefore) repaint();
}

void TThermometerForm::AwaitShowing(int milliseconds) {
  QElapsedTimer waited;
  waited.start();
  while (!shownOnScreen_ && isVisible()) {
    ProcessWindowSystemEventsOnly();
    shownOnScreen_ = exposeArrived_ && windowHandle() && windowHandle()->isExposed();
    if (shownOnScreen_ || waited.elapsed() >= milliseconds) return;
    QThread::msleep(1);
  }
}

bool TThermometerForm::eventFilter(QObject* watched, QEvent* event) {
  // The window system's word on the window; whether it says "shown" is known once the window
  // has taken the event.
  if (watched == windowHandle() && event->type() == QEvent::Expose) exposeArrived_ = true;
  if (watched == ProgressWin && event->type() == QEvent::Paint) ++barPaints_;
  return QWidget::eventFilter(watched, event);
}
