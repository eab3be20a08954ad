#pragma once

#include <QMargins>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QTimer>

#include <functional>
#include <optional>

class QWidget;

namespace Ordavex {

// The frame a window manager has put round the shown window, as the window system tells
// it now; none while the window is hidden or not framed (yet). The toolkit's own
// frameGeometry() may hold on to a frame it found missing before the manager framed the
// window (on X11, a window shown for the first time), so this asks the window system.
std::optional<QMargins> ManagerFrame(const QWidget &window);
// The window with that frame: what the operator sees of it on the screen.
QRect ManagedFrameGeometry(const QWidget &window);

// Puts a window's frame, title bar included, with its top right corner on a point. A
// window manager frames a window only once it is shown, and a window shown again after
// being hidden gets its frame back a moment later: until then the frame is unknown and
// the place would miss by the frame's size (a title bar above the screen). So the place
// is applied at once and again every PollMs until the frames of the window and of the
// window it goes beside are known and the corner sits on the point, for at most LimitMs;
// after that the window is the operator's to move.
class FramePlacer final : public QObject
{
public:
    static constexpr int PollMs = 25;
    static constexpr int LimitMs = 3000;

    using TopRight = std::function<QPoint()>;

    explicit FramePlacer(QWidget *window);

    // topRight is asked again at every try; beside is the window it depends on, if any.
    void place(TopRight topRight, QWidget *beside = nullptr);

private:
    void apply();
    void retry();
    bool settled(QPoint target) const;

    QWidget *const m_window;
    QPointer<QWidget> m_beside;
    TopRight m_topRight;
    QTimer m_retry;
    int m_tries = 0;
};

} // namespace Ordavex
