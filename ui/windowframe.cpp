// Where the window system keeps a window manager's frame: the only platform code of the
// windows' placement.
#include "frameplacer.h"

#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

#ifdef ORDAVEX_HAVE_XCB
#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#endif

namespace Ordavex {

namespace {

#ifdef ORDAVEX_HAVE_XCB
// The frame a manager following the desktop conventions puts in the property
// _NET_FRAME_EXTENTS of the window (left, right, top, bottom), in device pixels.
std::optional<QMargins> X11FrameExtents(xcb_connection_t *connection, const QWidget &window)
{
    const auto freeReply = [](void *reply) { std::free(reply); };
    static const char name[] = "_NET_FRAME_EXTENTS";
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(freeReply)> atom(
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 1, sizeof name - 1, name), nullptr), freeReply);
    if (!atom || atom->atom == XCB_ATOM_NONE)
        return std::nullopt;
    const auto id = static_cast<xcb_window_t>(window.winId());
    const std::unique_ptr<xcb_get_property_reply_t, decltype(freeReply)> reply(
        xcb_get_property_reply(connection, xcb_get_property(connection, 0, id, atom->atom, XCB_ATOM_CARDINAL, 0, 4),
                               nullptr),
        freeReply);
    if (!reply || reply->type != XCB_ATOM_CARDINAL || reply->format != 32
        || xcb_get_property_value_length(reply.get()) != 4 * int(sizeof(quint32)))
        return std::nullopt;
    const auto *extents = static_cast<const quint32 *>(xcb_get_property_value(reply.get()));
    const qreal ratio = window.devicePixelRatioF();
    return QMargins(qRound(extents[0] / ratio), qRound(extents[2] / ratio), qRound(extents[1] / ratio),
                    qRound(extents[3] / ratio));
}
#endif

} // namespace

std::optional<QMargins> ManagerFrame(const QWidget &window)
{
    const QWindow *handle = window.windowHandle();
    if (!window.isVisible() || !handle)
        return std::nullopt;
#ifdef ORDAVEX_HAVE_XCB
    // Only the X11 platform has a window manager to ask (the offscreen one answers for an
    // X11 interface too, without a connection).
    if (QGuiApplication::platformName() == QLatin1StringView("xcb")) {
        const auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        if (xcb_connection_t *connection = x11 ? x11->connection() : nullptr)
            return X11FrameExtents(connection, window);
        return std::nullopt;
    }
#endif
    // Elsewhere the toolkit learns the frame as the window is shown.
    const QMargins frame = handle->frameMargins();
    if (frame.isNull())
        return std::nullopt;
    return frame;
}

} // namespace Ordavex
