#include "ui/editor/KeyRouter.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QWidget>

namespace {

const char* const kHelpOnly = "norvelHelpKeyOnly";

// Characters that reach an edit cell: printable ones and Backspace.
bool IsTypedCharacter(QChar character) {
  return character == u'\b' || character.isPrint();
}

// The handlers of a window that only wants its help key.
class HelpKeyHandlers : public TableKeyHandlers {
 public:
  explicit HelpKeyHandlers(std::function<void()> showHelp) : showHelp_(std::move(showHelp)) {}
  void UserActiveKey(quint16 key, ShiftState) override {
    if (key == viewkey::kF1) showHelp_();
  }

 private:
  std::function<void()> showHelp_;
};

// Owns the help handlers and their router, and goes with the window.
class HelpKey : public QObject {
 public:
  HelpKey(QWidget* window, std::function<void()> showHelp)
      : QObject(window), handlers_(std::move(showHelp)), router_(handlers_) {
    router_.WatchHelpKey(window);
  }

 private:
  HelpKeyHandlers handlers_;
  KeyRouter router_;
};

}  // namespace

KeyRouter::KeyRouter(TableKeyHandlers& handlers, QObject* parent)
    : QObject(parent), handlers_(handlers) {}

void KeyRouter::Watch(QWidget* widget) {
  widget->installEventFilter(this);
}

void KeyRouter::WatchHelpKey(QWidget* widget) {
  widget->setProperty(kHelpOnly, true);
  widget->installEventFilter(this);
}

quint16 KeyRouter::KeyCode(int qtKey, Qt::KeyboardModifiers modifiers) {
  switch (qtKey) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
      return viewkey::kTab;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return viewkey::kEnter;
    case Qt::Key_Escape:
      return viewkey::kEsc;
    case Qt::Key_Left:
      return viewkey::kLeft;
    case Qt::Key_Up:
      return viewkey::kUp;
    case Qt::Key_Right:
      return viewkey::kRight;
    case Qt::Key_Down:
      return viewkey::kDown;
    case Qt::Key_F1:
      return viewkey::kF1;
    case Qt::Key_Plus:
      return modifiers.testFlag(Qt::KeypadModifier) ? viewkey::kPlus : 0;
    case Qt::Key_Minus:
      return modifiers.testFlag(Qt::KeypadModifier) ? viewkey::kMinus : 0;
    default:
      return 0;
  }
}

bool KeyRouter::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type != QEvent::KeyPress && type != QEvent::KeyRelease) return false;
  auto* key = static_cast<QKeyEvent*>(event);
  if (watched->property(kHelpOnly).toBool()) {
    if (type != QEvent::KeyPress || key->key() != Qt::Key_F1) return false;
    quint16 code = viewkey::kF1;
    handlers_.FormKeyDown(watched, code, key->modifiers());
    return true;
  }
  return type == QEvent::KeyPress ? RouteKeyPress(watched, key) : RouteKeyRelease(watched, key);
}

bool KeyRouter::RouteKeyPress(QObject* watched, QKeyEvent* event) {
  // A handler may close the window (Esc) and so destroy the cell under our feet.
  const QPointer<QObject> alive(watched);
  quint16 code = KeyCode(event->key(), event->modifiers());
  handlers_.FormKeyDown(watched, code, event->modifiers());
  if (!alive) return true;

  QString text = event->text();
  if (text.isEmpty() && event->key() == Qt::Key_Backspace) text = QStringLiteral("\b");
  for (QChar character : text) {
    if (!IsTypedCharacter(character)) continue;
    const QChar typed = character;
    handlers_.FormKeyPress(watched, character);
    if (!alive) return true;
    auto* edit = qobject_cast<QLineEdit*>(watched);
    if (!edit || character.isNull()) continue;
    // What the operator types replaces a selected text; a character the window put in its
    // place (the city-line window's "#") goes in at the caret and leaves the text alone.
    if (character != typed) edit->deselect();
    if (character == u'\b') {
      edit->backspace();
    } else {
      edit->insert(QString(character));
    }
    if (!alive) return true;
  }
  return true;
}

bool KeyRouter::RouteKeyRelease(QObject* watched, QKeyEvent* event) {
  // A held key repeats as release and press pairs; navigation acts on the real release only.
  if (event->isAutoRepeat()) return true;
  quint16 code = KeyCode(event->key(), event->modifiers());
  handlers_.FormKeyUp(watched, code, event->modifiers());
  return true;
}

void InstallHelpKey(QWidget* window, std::function<void()> showHelp) {
  new HelpKey(window, std::move(showHelp));
}
