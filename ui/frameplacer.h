#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QTimer>

#include <functional>

class QWidget;

namespace Ordavex {

// Puts a window's frame, title bar included, with its top right corner on a point. A
// window manager frames a window only once it is shown, and a window shown again after
// being hidden gets its frame back a moment later: until then the toolkit knows no frame
// and the place would miss by the frame's size (a title bar above the screen). So the
// place is applied at once and again every PollMs until the frames of the window and of
// the window it goes beside are known and the corner sits on the point, for at most
// LimitMs; after that the window is the operator's to move.
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

// The window manager has put its frame round the shown window.
bool HasKnownFrame(const QWidget &window);

} // namespace Ordavex
