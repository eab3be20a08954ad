#include "frameplacer.h"

#include <QWidget>

namespace Ordavex {

QRect ManagedFrameGeometry(const QWidget &window)
{
    return window.geometry().marginsAdded(ManagerFrame(window).value_or(QMargins()));
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
    // By the difference from where the frame is now: the same whether the toolkit counts
    // a frame it knows of or not.
    const QPoint by = m_topRight() - ManagedFrameGeometry(*m_window).topRight();
    if (!by.isNull())
        m_window->move(m_window->pos() + by);
}

bool FramePlacer::settled(QPoint target) const
{
    const bool framed = ManagerFrame(*m_window) && (!m_beside || ManagerFrame(*m_beside));
    return framed && ManagedFrameGeometry(*m_window).topRight() == target;
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
