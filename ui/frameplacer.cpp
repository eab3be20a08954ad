#include "frameplacer.h"

#include <QWidget>
#include <QWindow>

namespace Ordavex {

bool HasKnownFrame(const QWidget &window)
{
    const QWindow *handle = window.windowHandle();
    return window.isVisible() && handle && !handle->frameMargins().isNull();
}

FramePlacer::FramePlacer(QWidget *window)
    : QObject(window)
    , m_window(window)
{
    m_retry.setInterval(PollMs);
    connect(&m_retry, &QTimer::timeout, this, &FramePlacer::retry);
}

void FramePlacer::place(TopRight topRight, QWidget *beside)
{
    m_topRight = std::move(topRight);
    m_beside = beside;
    m_tries = 0;
    apply();
    m_retry.start();
}

void FramePlacer::apply()
{
    const QPoint target = m_topRight();
    m_window->move(target.x() + 1 - m_window->frameGeometry().width(), target.y());
}

bool FramePlacer::settled(QPoint target) const
{
    const bool framed = HasKnownFrame(*m_window) && (!m_beside || HasKnownFrame(*m_beside));
    return framed && m_window->frameGeometry().topRight() == target;
}

void FramePlacer::retry()
{
    // A hidden window is placed again by its next showing.
    if (!m_window->isVisible() || ++m_tries * PollMs > LimitMs) {
        m_retry.stop();
        return;
    }
    if (settled(m_topRight())) {
        m_retry.stop();
        return;
    }
    apply();
}

} // namespace Ordavex
