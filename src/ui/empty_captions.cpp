#include "ui/empty_captions.h"

#include <xcb/xcb.h>

#include <QEvent>
#include <QGuiApplication>
#include <QWidget>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>

namespace kvx::ui {

namespace {

constexpr const char* kFilterName = "kvxEmptyCaptions";

xcb_atom_t InternAtom(xcb_connection_t* connection, std::string_view name) {
  const xcb_intern_atom_cookie_t cookie =
      xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(name.size()), name.data());
  const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
      xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
  return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

// Watches every object of the application for the moments Qt has just written a window's name.
class X11EmptyCaptions final : public QObject {
 public:
  X11EmptyCaptions(xcb_connection_t* connection, QObject* parent)
      : QObject(parent),
        connection_(connection),
        net_wm_name_(InternAtom(connection, "_NET_WM_NAME")),
        utf8_string_(InternAtom(connection, "UTF8_STRING")) {
    setObjectName(QString::fromLatin1(kFilterName));
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    // Show comes after the native window has been created with its title and before it is
    // mapped; WindowTitleChange after Qt has passed a new title on.
    const bool named = event->type() == QEvent::Show || event->type() == QEvent::WindowTitleChange;
    if (named && watched->isWidgetType()) {
      const auto* widget = static_cast<const QWidget*>(watched);
      if (widget->isWindow() && widget->windowTitle().isEmpty() && widget->internalWinId() != 0) {
        ClearName(static_cast<xcb_window_t>(widget->internalWinId()));
      }
    }
    return false;
  }

 private:
  void ClearName(xcb_window_t window) {
    if (net_wm_name_ != XCB_ATOM_NONE && utf8_string_ != XCB_ATOM_NONE) {
      xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window, net_wm_name_, utf8_string_, 8,
                          0, nullptr);
    }
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME,
                        XCB_ATOM_STRING, 8, 0, nullptr);
    xcb_flush(connection_);
  }

  xcb_connection_t* connection_;
  xcb_atom_t net_wm_name_;
  xcb_atom_t utf8_string_;
};

}  // namespace

void UseEmptyCaptions() {
  // Not a null string: a display name is then set, and it is empty.
  QGuiApplication::setApplicationDisplayName(QStringLiteral(""));
  auto* application = qGuiApp;
  if (!application || application->findChild<QObject*>(QString::fromLatin1(kFilterName),
                                                       Qt::FindDirectChildrenOnly)) {
    return;
  }
  // Only on the xcb platform: offscreen, for one, offers the X11 interface without a connection.
  const auto* x11 = application->nativeInterface<QNativeInterface::QX11Application>();
  if (QGuiApplication::platformName() != QLatin1String("xcb") || !x11 || !x11->connection()) return;
  // Owned by the application; the same connection as Qt's, so these requests follow Qt's own.
  application->installEventFilter(new X11EmptyCaptions(x11->connection(), application));
}

}  // namespace kvx::ui
