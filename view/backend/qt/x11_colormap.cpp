// Qt gives every native window a colormap of its own, even one on the screen's default visual.
// Screen readers that compose the screen window by window (xwd -root, ImageMagick's import)
// treat each such window as a separate visual region and read it through the lowest window of
// its kind: a window lying over another of ours then comes out black, as the server blanks
// what is hidden in the window below. On the default visual the default colormap is the same
// thing, and with it the screen is read in one piece, as it shows.
#include "view/backend/qt/x11_colormap.h"

#include <QGuiApplication>
#include <QPlatformSurfaceEvent>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>
#include <cstdlib>
#include <xcb/xcb.h>

namespace tav::gui {

namespace {

const xcb_screen_t* screen_of_root(xcb_connection_t* conn, xcb_window_t root) {
  for (xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(conn)); it.rem;
       xcb_screen_next(&it)) {
    if (it.data->root == root) return it.data;
  }
  return nullptr;
}

}  // namespace

void adopt_default_colormap(QObject* receiver, const QEvent* e) {
  if (e->type() != QEvent::PlatformSurface || !receiver->isWindowType()) return;
  if (static_cast<const QPlatformSurfaceEvent*>(e)->surfaceEventType() !=
      QPlatformSurfaceEvent::SurfaceCreated)
    return;
  auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
  xcb_connection_t* conn = x11 ? x11->connection() : nullptr;
  if (!conn) return;
  auto id = static_cast<xcb_window_t>(static_cast<QWindow*>(receiver)->winId());
  xcb_get_window_attributes_cookie_t attr_cookie = xcb_get_window_attributes(conn, id);
  xcb_query_tree_cookie_t tree_cookie = xcb_query_tree(conn, id);
  xcb_get_window_attributes_reply_t* attr = xcb_get_window_attributes_reply(conn, attr_cookie, nullptr);
  xcb_query_tree_reply_t* tree = xcb_query_tree_reply(conn, tree_cookie, nullptr);
  const xcb_screen_t* screen = tree ? screen_of_root(conn, tree->root) : nullptr;
  // A window on another visual (a translucent one's ARGB) keeps the colormap made for it.
  if (attr && screen && attr->visual == screen->root_visual &&
      attr->colormap != screen->default_colormap) {
    uint32_t colormap = screen->default_colormap;
    xcb_change_window_attributes(conn, id, XCB_CW_COLORMAP, &colormap);
  }
  std::free(attr);
  std::free(tree);
}

}  // namespace tav::gui
