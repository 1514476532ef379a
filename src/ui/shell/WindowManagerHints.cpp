// X11 only: the request goes to the window manager as the _MOTIF_WM_HINTS property of the
// window, which the managers of the X desktops read. Other platforms keep Qt's own request.
#include "ui/shell/WindowManagerHints.h"

#include <QGuiApplication>
#include <QWidget>

#if defined(NORVEL_HAVE_XCB)
#include <xcb/xcb.h>

#include <QtGui/qguiapplication_platform.h>
#include <array>
#include <cstring>
#endif

void AskForTitleBarOnly(QWidget* window) {
#if defined(NORVEL_HAVE_XCB)
  if (QGuiApplication::platformName() != QLatin1String("xcb")) return;
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
  if (!connection) return;
  static constexpr char kName[] = "_MOTIF_WM_HINTS";
  const xcb_intern_atom_cookie_t cookie = xcb_intern_atom(connection, 0, std::strlen(kName), kName);
  xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
  if (!reply) return;
  // flags: functions and decorations given; functions: move; decorations: border and title.
  constexpr std::uint32_t kFunctionsAndDecorations = 1 | 2;
  constexpr std::uint32_t kMove = 4;
  constexpr std::uint32_t kBorderAndTitle = 2 | 8;
  const std::array<std::uint32_t, 5> hints = {kFunctionsAndDecorations, kMove, kBorderAndTitle, 0,
                                              0};
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(window->winId()),
                      reply->atom, reply->atom, 32, hints.size(), hints.data());
  std::free(reply);
  xcb_flush(connection);
#else
  Q_UNUSED(window);
#endif
}

void ShowWithKeyboard(QWidget* window, QWidget* focus) {
  window->show();
  window->raise();
  window->activateWindow();
  if (focus) focus->setFocus(Qt::ActiveWindowFocusReason);
}
