/* fake_click X Y: moves KWin's pointer to X,Y (in the layout's logical
   pixels) and clicks the left button there, through KWin's fake input
   protocol. KWin offers that protocol only to a program whose desktop entry
   names it in X-KDE-Wayland-Interfaces, Exec being the program's own path. */
#include <linux/input-event-codes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <wayland-client.h>

#include "fake-input-client-protocol.h"

static struct org_kde_kwin_fake_input* fake_input;

static void global_added(void* data, struct wl_registry* registry, uint32_t name,
                         const char* interface, uint32_t version) {
  (void)data;
  if (strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && version >= 3)
    fake_input = wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 3);
}

static void global_removed(void* data, struct wl_registry* registry, uint32_t name) {
  (void)data, (void)registry, (void)name;
}

static const struct wl_registry_listener registry_listener = {global_added, global_removed};

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: %s X Y\n", argv[0]);
    return 2;
  }
  struct wl_display* display = wl_display_connect(NULL);
  if (!display) {
    fprintf(stderr, "fake_click: no Wayland display\n");
    return 1;
  }
  struct wl_registry* registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &registry_listener, NULL);
  wl_display_roundtrip(display);
  if (!fake_input) {
    fprintf(stderr, "fake_click: the compositor offers no org_kde_kwin_fake_input (version 3)\n");
    return 1;
  }
  org_kde_kwin_fake_input_authenticate(fake_input, "lanchat tests", "clicks as a user would");
  org_kde_kwin_fake_input_pointer_motion_absolute(fake_input, wl_fixed_from_double(atof(argv[1])),
                                                  wl_fixed_from_double(atof(argv[2])));
  wl_display_roundtrip(display);
  // The window under the pointer sees it enter before the press, as a
  // user's hand would give it time to.
  usleep(300 * 1000);
  org_kde_kwin_fake_input_button(fake_input, BTN_LEFT, WL_POINTER_BUTTON_STATE_PRESSED);
  wl_display_roundtrip(display);
  usleep(100 * 1000);
  org_kde_kwin_fake_input_button(fake_input, BTN_LEFT, WL_POINTER_BUTTON_STATE_RELEASED);
  wl_display_roundtrip(display);
  org_kde_kwin_fake_input_destroy(fake_input);
  wl_registry_destroy(registry);
  wl_display_disconnect(display);
  return 0;
}
