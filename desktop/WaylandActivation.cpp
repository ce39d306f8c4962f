#include "desktop/WaylandActivation.h"

#include <QGuiApplication>
#include <QWindow>
#include <qpa/qplatformnativeinterface.h>

#include <wayland-client.h>
#include <xdg-activation-v1-client-protocol.h>

#include <cstring>
#include <string>

namespace {

// The globals and the token, on an event queue of our own: Qt's own queue
// and its objects are left alone.
struct Session {
  xdg_activation_v1* activation = nullptr;
  std::string token;
  bool done = false;
};

void OnGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface,
              uint32_t /*version*/) {
  auto* session = static_cast<Session*>(data);
  if (std::strcmp(interface, xdg_activation_v1_interface.name) == 0)
    session->activation = static_cast<xdg_activation_v1*>(
        wl_registry_bind(registry, name, &xdg_activation_v1_interface, 1));
}
void OnGlobalRemove(void* /*data*/, wl_registry* /*registry*/, uint32_t /*name*/) {}
const wl_registry_listener kRegistryListener = {OnGlobal, OnGlobalRemove};

void OnToken(void* data, xdg_activation_token_v1* /*token*/, const char* token) {
  auto* session = static_cast<Session*>(data);
  session->token = token;
  session->done = true;
}
const xdg_activation_token_v1_listener kTokenListener = {OnToken};

} // namespace

bool RequestWaylandAttention(QWindow* window) {
  if (window == nullptr || !QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
    return false;
  QPlatformNativeInterface* native = QGuiApplication::platformNativeInterface();
  if (native == nullptr) return false;
  auto* display = static_cast<wl_display*>(native->nativeResourceForIntegration("wl_display"));
  auto* surface = static_cast<wl_surface*>(native->nativeResourceForWindow("surface", window));
  if (display == nullptr || surface == nullptr) return false;

  Session session;
  wl_event_queue* queue = wl_display_create_queue(display);
  auto* wrapped = static_cast<wl_display*>(wl_proxy_create_wrapper(display));
  wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapped), queue);
  wl_registry* registry = wl_display_get_registry(wrapped);
  wl_registry_add_listener(registry, &kRegistryListener, &session);
  wl_display_roundtrip_queue(display, queue);
  if (session.activation != nullptr) {
    // A token for this window and app, without the serial of an input
    // event: the compositor knows no user asked for it.
    xdg_activation_token_v1* token = xdg_activation_v1_get_activation_token(session.activation);
    xdg_activation_token_v1_add_listener(token, &kTokenListener, &session);
    xdg_activation_token_v1_set_surface(token, surface);
    const QByteArray appId = QGuiApplication::desktopFileName().toUtf8();
    if (!appId.isEmpty()) xdg_activation_token_v1_set_app_id(token, appId.constData());
    xdg_activation_token_v1_commit(token);
    while (!session.done && wl_display_roundtrip_queue(display, queue) >= 0) {
    }
    if (session.done)
      xdg_activation_v1_activate(session.activation, session.token.c_str(), surface);
    xdg_activation_token_v1_destroy(token);
    xdg_activation_v1_destroy(session.activation);
    wl_display_flush(display);
  }
  wl_registry_destroy(registry);
  wl_proxy_wrapper_destroy(wrapped);
  wl_event_queue_destroy(queue);
  return session.done;
}
