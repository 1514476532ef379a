#pragma once

#include <QElapsedTimer>
#include <QWidget>

class QProgressBar;

// The progress window that stands over the application during a station transfer. Transfers
// block the UI thread, so a change of position repaints the window at once instead of waiting
// for the event loop, when the bar's drawn length has changed and the last picture is old
// enough for the screen to have shown it. A position that changes nothing on the screen does
// not touch the bar at all: a transfer reports every byte.
//
// The window never holds a transfer up. A showing waits a moment (kShowingWaitMs at most) for
// the window system to put the window on the screen, since until then nothing painted reaches
// it; after that every picture only lets the window system's pending events through, without
// waiting, until the window is seen to be shown. A window manager slow to map the window, or
// one that never does, changes nothing in the transfer's timing. A window hidden at the end of
// one transfer and shown again for the next still believes itself shown, since the blocked
// event loop never heard otherwise; so the showing itself is watched, not the window's belief.
class TThermometerForm : public QWidget {
  Q_OBJECT
 public:
  explicit TThermometerForm(QWidget* parent = nullptr);

  void StartProgress(const QString& caption, quint16 maximum);
  void SetProgress(quint16 position);
  void EndProgress();
  // A box asked in the middle of a transfer stands where the window stays on top of everything:
  // the window steps aside while the box is open and comes back, as it was, after it.
  bool StepAside();
  void ComeBack();

  QProgressBar* ProgressWin;

  static constexpr int kWidth = 529;
  static constexpr int kHeight = 52;
  // About fifty pictures a second at most.
  static constexpr int kMinFrameMs = 20;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The bar's filled length in pixels at a position.
  int LengthAt(int position) const;
  void Draw(quint16 position);
  // Lets the window system's events through until it has shown the window, at most the given
  // time; 0 looks once without waiting.
  void AwaitShowing(int milliseconds);

  int drawnLength_ = -1;
  QElapsedTimer sinceDrawn_;
  // The window system has shown the window since it was last shown by the program.
  bool shownOnScreen_ = false;
  bool exposeArrived_ = false;
  // The last picture was drawn for a change of position, not for the start.
  bool burst_ = false;
  int barPaints_ = 0;
  bool watchingWindow_ = false;
  static constexpr int kShowingWaitMs = 100;
};

// Lets the window system's own events through (so that a window can be shown and painted in
// the middle of a station operation) while no handler of the program may run: user input stays
// queued, and a request to close any window is refused.
void ProcessWindowSystemEventsOnly();
