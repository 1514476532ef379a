#pragma once

class QWidget;

// Asks the window manager for a title bar and a border only: no window menu, no minimise,
// maximise or close box, and no resizing. The table windows have no system menu; Qt's own
// request leaves the decorations to the manager's defaults, which show all the boxes.
// Managers that keep a close box whatever they are asked (Openbox does) still send the window
// a close request, which the window treats as Esc.
void AskForTitleBarOnly(QWidget* window);
