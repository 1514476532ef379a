#pragma once

#include <QObject>
#include <functional>

#include "core/editor/KeyHandlers.h"

class QKeyEvent;
class QWidget;

// Turns Qt's key events into the three key handlers of a window. Qt delivers a key press (the
// key and the text it types) and a key release; the press is the key going down followed by
// its typed characters, the release the key coming up. Every key event of a watched widget is
// taken here, so neither the focused control nor Qt's focus navigation sees it: the typed
// characters that the handlers let through are put into an edit cell as if typed there.
//
// Windows that only want F1 watch themselves in help mode: F1 then goes through the same
// key-down path, and every other key goes on as usual.
class KeyRouter : public QObject {
  Q_OBJECT
 public:
  explicit KeyRouter(TableKeyHandlers& handlers, QObject* parent = nullptr);

  // Routes every key of the widget (a cell, or the window itself).
  void Watch(QWidget* widget);
  // Routes only F1, as it arrives at the widget or bubbles up to it from a child.
  void WatchHelpKey(QWidget* widget);

  // The Windows key code of a Qt key, as the handlers know them; 0 for keys they do not name.
  static quint16 KeyCode(int qtKey, Qt::KeyboardModifiers modifiers = {});

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool RouteKeyPress(QObject* watched, QKeyEvent* event);
  bool RouteKeyRelease(QObject* watched, QKeyEvent* event);

  TableKeyHandlers& handlers_;
};

// F1 on a window (or any of its controls that leaves the key alone) opens its help.
void InstallHelpKey(QWidget* window, std::function<void()> showHelp);
