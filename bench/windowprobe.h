#pragma once

// What the window thread's benchmarks watch: the worst stall of its event loop, seen by
// probe events posted from another thread, and the time from a key's posting to the
// next paint of the widget it went to.

#include <QElapsedTimer>
#include <QEvent>
#include <QObject>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace Ordavex::Bench {

// One clock for the posting and the taking; started by the first call.
inline qint64 nowNs()
{
    static const QElapsedTimer clock = [] {
        QElapsedTimer started;
        started.start();
        return started;
    }();
    return clock.nsecsElapsed();
}

struct ProbeEvent final : QEvent
{
    static inline const Type Kind = Type(QEvent::registerEventType());
    explicit ProbeEvent(qint64 at)
        : QEvent(Kind)
        , postedNs(at)
    {
    }
    qint64 postedNs;
};

// Takes the probes on the window thread, and, as an event filter of the painted widget,
// its paints.
class WindowProbe final : public QObject
{
public:
    qint64 worstNs = 0;
    qint64 keyPostedNs = -1;
    std::vector<qint64> keyToPaint;

    bool event(QEvent *event) override
    {
        if (event->type() == ProbeEvent::Kind) {
            worstNs = std::max(worstNs, nowNs() - static_cast<ProbeEvent *>(event)->postedNs);
            return true;
        }
        return QObject::event(event);
    }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && keyPostedNs >= 0) {
            keyToPaint.push_back(nowNs() - keyPostedNs);
            keyPostedNs = -1;
        }
        return QObject::eventFilter(watched, event);
    }
};

// The one-minute load average, to print beside the figures.
inline double LoadAverage()
{
    double average = 0;
    if (FILE *f = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(f, "%lf", &average) != 1)
            average = 0;
        std::fclose(f);
    }
    return average;
}

} // namespace Ordavex::Bench
