#pragma once

#include <QString>

// Everything the program asks of or tells the operator goes through this interface: the three
// message boxes, the general error box, the busy cursor, the progress window, the input box and
// help. The application backs it with Qt widgets; tests back it with a scripted fake that checks
// every box.
class OperatorUi {
 public:
  enum class BoxKind { Info, YesNo, YesCancel, Error };
  enum class Cursor { Default, Busy };

  virtual ~OperatorUi() = default;

  // Modal boxes. The error flag chooses the look: true the stop sign and the caption "Error",
  // false the question mark and "Confirm" (also for good news). Each box ends the busy state
  // first, so the operator never sees the hourglass over a message.
  void InfoBox(const QString& text, bool error);
  // True exactly when the operator chose "&Yes"; any other way of closing gives false.
  bool YesNoBox(const QString& text, bool error);
  bool YesCancelBox(const QString& text, bool error);
  // The general error handler's box: the text of an error that no handler dealt with, captioned
  // with the program's name.
  void ErrorBox(const QString& text);

  // release false begins the busy state (hourglass), true ends it. Begin does not nest: a second
  // begin keeps the cursor remembered by the first, and a single end restores it.
  void SetBusy(bool release);

  // The progress window. SetProgress repaints at once, since transfers block the UI thread.
  virtual void StartProgress(const QString& caption, quint16 maximum) = 0;
  virtual void SetProgress(quint16 position) = 0;
  virtual void EndProgress() = 0;

  // A modal input box; gives the default text when the operator cancels.
  virtual QString InputBox(const QString& caption, const QString& prompt,
                           const QString& defaultText) = 0;

  // Opens a topic of the help file.
  virtual void ShowHelp(int topic) = 0;

  static constexpr const char* kConfirmCaption = "Confirm";
  static constexpr const char* kErrorCaption = "Error";
  static constexpr const char* kProgramName = "NorvelWin";

 protected:
  virtual bool ShowBox(BoxKind kind, const QString& text, bool error) = 0;
  virtual Cursor ScreenCursor() const = 0;
  virtual void SetScreenCursor(Cursor cursor) = 0;

 private:
  Cursor remembered_ = Cursor::Default;
};
