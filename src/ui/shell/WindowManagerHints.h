#pragma once

class QWidget;

// Asks the window manager for a title bar and a border only: no window menu, no minimise,
// maximise or close box, and no resizing. The table windows have no system menu; Qt's own
// request leaves the decorations to the manager's defaults, which show all the boxes.
// Managers that keep a close box whatever they are asked (Openbox does) still send the window
// a close request, which the window treats as Esc.
void AskForTitleBarOnly(QWidget* window);

// Shows the program's first window with the keyboard on `focus`. A window manager gives a new
// window the focus; a bare display (a virtual one, a kiosk) gives it to no one unless the
// program asks, and then no key works until a click.
void ShowWithKeyboard(QWidget* window, QWidget* focus);
