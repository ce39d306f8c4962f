#include "desktop/Attention.h"

#include "desktop/WaylandActivation.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

#include <xcb/xcb.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// WM_HINTS as the ICCCM lays it out: nine 32-bit fields, flags first; the
// urgency flag is bit 8 (XUrgencyHint).
constexpr std::uint32_t kUrgencyHint = 1U << 8;
constexpr std::uint32_t kHintsFields = 9;

xcb_connection_t* X11Connection() {
  auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
  return x11 != nullptr ? x11->connection() : nullptr;
}

} // namespace

Attention::Attention(QWidget* window) : QObject(window), window_(window) {
  window->installEventFilter(this);
}

void Attention::Request() {
  // Asked once until the window is activated: a flood of messages makes no
  // flood of requests to the window manager or the compositor.
  if (window_ == nullptr || window_->isActiveWindow() || requested_) return;
  requested_ = true;
  QApplication::alert(window_, 0);
  SetUrgency(true);
  // Qt 6.4's Wayland plugin does nothing for an alert.
  RequestWaylandAttention(window_->windowHandle());
}

bool Attention::eventFilter(QObject* watched, QEvent* event) {
  if (watched == window_ && event->type() == QEvent::WindowActivate) {
    requested_ = false;
    SetUrgency(false);
  }
  return QObject::eventFilter(watched, event);
}

// Sets or clears the urgency flag, keeping the window's other hints.
void Attention::SetUrgency(bool urgent) {
  if (urgent == urgent_) return;
  xcb_connection_t* connection = X11Connection();
  if (connection == nullptr || window_ == nullptr) return;
  urgent_ = urgent;
  const auto window = static_cast<xcb_window_t>(window_->winId());
  std::array<std::uint32_t, kHintsFields> hints{};
  const xcb_get_property_cookie_t cookie = xcb_get_property(
      connection, 0, window, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 0, kHintsFields);
  if (xcb_get_property_reply_t* reply = xcb_get_property_reply(connection, cookie, nullptr)) {
    const auto length = static_cast<std::size_t>(xcb_get_property_value_length(reply));
    std::memcpy(hints.data(), xcb_get_property_value(reply), std::min(length, sizeof hints));
    std::free(reply);
  }
  hints[0] = urgent ? (hints[0] | kUrgencyHint) : (hints[0] & ~kUrgencyHint);
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_HINTS,
                      XCB_ATOM_WM_HINTS, 32, kHintsFields, hints.data());
  xcb_flush(connection);
}
