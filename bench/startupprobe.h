#pragma once

// The child side of the start-up benchmark, shared by the program's child and the floor
// programs: the time since the parent's spawn and the peak resident size at named
// phases, printed on one line at the first painted frame, after which the child leaves.
//
// The parent reads CLOCK_MONOTONIC just before spawning and passes it as the child's
// first argument.

#include <QApplication>
#include <QMetaObject>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include <sys/resource.h>

namespace StartupProbe {

inline long long monotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

struct State
{
    long long spawnedAt = 0;   // the parent's clock reading just before the spawn
    std::string phases;        // "name=ms:KiB " for each phase so far
};

inline State &state()
{
    static State s;
    return s;
}

inline void setSpawnedAt(const char *stamp)
{
    state().spawnedAt = std::atoll(stamp);
}

// One phase of the start: the time since the spawn and the peak resident size so far,
// to tell which step costs what.
inline void mark(const char *name)
{
    const double ms = double(monotonicNs() - state().spawnedAt) / 1e6;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    char buffer[80];
    std::snprintf(buffer, sizeof buffer, "%s=%.3f:%ld ", name, ms, usage.ru_maxrss);
    state().phases += buffer;
}

// Waits for the first paint event of any widget of the window. Painting a frame runs
// inside one event (expose or update request), so a call queued from the first paint
// runs once the whole frame has been painted and flushed. A child that never paints
// (a modal box, a crash in show()) leaves after 15 s, so that the parent does not hang.
class FirstPaint final : public QObject
{
public:
    explicit FirstPaint(QWidget *window)
        : m_window(window)
    {
        qApp->installEventFilter(this);
        QTimer::singleShot(15000, this, [] {
            std::fprintf(stderr, "no first paint within 15 s\n");
            std::_Exit(3);
        });
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!m_seen && event->type() == QEvent::Paint && watched->isWidgetType()
            && static_cast<QWidget *>(watched)->window() == m_window) {
            m_seen = true;
            QMetaObject::invokeMethod(this, &FirstPaint::finish, Qt::QueuedConnection);
        }
        return false;
    }

private:
    void finish()
    {
        mark("paint");
        dumpMappings();
        std::printf("%s\n", state().phases.c_str());
        std::fflush(stdout);
        // Nothing after the first frame is measured: skip the teardown.
        std::_Exit(0);
    }

    // With ORDAVEX_STARTUP_SMAPS set to a file name, the child's mappings at the first
    // frame go there (/proc/self/smaps): what each library and the heap hold resident.
    static void dumpMappings()
    {
        const char *target = std::getenv("ORDAVEX_STARTUP_SMAPS");
        if (!target || !*target)
            return;
        std::FILE *in = std::fopen("/proc/self/smaps", "r");
        std::FILE *out = std::fopen(target, "w");
        char buffer[4096];
        size_t n = 0;
        while (in && out && (n = std::fread(buffer, 1, sizeof buffer, in)) > 0)
            std::fwrite(buffer, 1, n, out);
        if (in)
            std::fclose(in);
        if (out)
            std::fclose(out);
    }

    QWidget *m_window;
    bool m_seen = false;
};

} // namespace StartupProbe
