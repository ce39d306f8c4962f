#pragma once

class QWindow;

// Asks a Wayland compositor to activate a window through xdg-activation,
// with a token that no input of the user's backs: compositors turn such a
// request into their attention state (sway: urgent; GNOME, KDE: demands
// attention) rather than give the focus. Qt 6.4 makes no such request for
// QApplication::alert, and can request activation only while one of the
// program's windows has the focus. Returns false where the platform is not
// Wayland or the compositor lacks xdg-activation.
bool RequestWaylandAttention(QWindow* window);
