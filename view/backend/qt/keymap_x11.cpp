// The level-0 character of a physical key, from the X server's keyboard map: Qt reports the
// shifted key (Shift+1 is Key_Exclam), while key-down names the key itself.
#include <QGuiApplication>
#include <QKeyEvent>
#include <QtGui/qguiapplication_platform.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include "view/backend/qt/keys.h"

namespace tav::gui {

namespace {

xkb_context* context = nullptr;
xkb_keymap* keymap = nullptr;
bool unavailable = false;

xkb_keymap* current_keymap() {
  if (keymap || unavailable) return keymap;
  auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  xcb_connection_t* conn = x11 ? x11->connection() : nullptr;
  if (!conn || !xkb_x11_setup_xkb_extension(conn, XKB_X11_MIN_MAJOR_XKB_VERSION,
                                            XKB_X11_MIN_MINOR_XKB_VERSION,
                                            XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr,
                                            nullptr, nullptr, nullptr)) {
    unavailable = true;
    return nullptr;
  }
  if (!context) context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
  int32_t device = xkb_x11_get_core_keyboard_device_id(conn);
  if (context && device >= 0)
    keymap = xkb_x11_keymap_new_from_device(context, conn, device, XKB_KEYMAP_COMPILE_NO_FLAGS);
  if (!keymap) unavailable = true;
  return keymap;
}

uint32_t level0_of(uint32_t scancode) {
  xkb_keymap* map = scancode ? current_keymap() : nullptr;
  if (!map) return 0;
  const xkb_keysym_t* syms = nullptr;
  int n = xkb_keymap_key_get_syms_by_level(map, scancode, 0, 0, &syms);
  return n > 0 ? xkb_keysym_to_utf32(syms[0]) : 0;
}

}  // namespace

void forget_keymap() {
  if (keymap) xkb_keymap_unref(keymap);
  keymap = nullptr;
  unavailable = false;
}

KeyInput key_input(const QKeyEvent* e) {
  KeyInput in;
  in.key = e->key();
  in.modifiers = e->modifiers();
  in.text = e->text();
  in.keysym = e->nativeVirtualKey();
  in.level0 = level0_of(e->nativeScanCode());
  in.press = e->type() == QEvent::KeyPress;
  return in;
}

}  // namespace tav::gui
