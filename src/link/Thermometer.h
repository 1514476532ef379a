#pragma once

#include <QElapsedTimer>
#include <QWidget>

class QProgressBar;

// The progress window that stands over the application during a station transfer. Transfers
// block the UI thread, so a change of position repaints the window at once instead of waiting
// for the event loop, when the bar's drawn length has changed and the last picture is old
// enough for the screen to have shown it.
class TThermometerForm : public QWidget {
  Q_OBJECT
 public:
  explicit TThermometerForm(QWidget* parent = nullptr);

  void StartProgress(const QString& caption, quint16 maximum);
  void SetProgress(quint16 position);
  void EndProgress();

  QProgressBar* ProgressWin;

  static constexpr int kWidth = 529;
  static constexpr int kHeight = 52;
  // About fifty pictures a second at most.
  static constexpr int kMinFrameMs = 20;

 private:
  int drawnLength_ = -1;
  QElapsedTimer sinceDrawn_;
};

// Lets the window system's own events through (so that a window can be shown and painted in
// the middle of a station operation) while no handler of the program may run: user input stays
// queued, and a request to close any window is refused.
void ProcessWindowSystemEventsOnly();
