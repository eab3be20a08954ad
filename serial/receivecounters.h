#pragma once

#include <QtGlobal>

#include <atomic>

namespace Ordavex {

// The monitor's counters, shared with its readers. Each is changed by whole atomic
// steps (an add, a reset), so an add and a concurrent reset by the monitor's clear
// may come out in either order but never tear; they only feed the status text.
struct ReceiveCounters
{
    std::atomic<qint32> line{0};            // kept across readers; reset by ClearMonitor
    std::atomic<qint32> keptBytes{0};       // nb; 0 at each reader start and at ClearMonitor
    std::atomic<qint32> receivedBytes{0};   // gb; likewise
    // Lines with text handed to the monitor and not yet let go by it: the line limit
    // counts these, so that lines without text (nothing but NULs) never fill it. The
    // reader adds before it hands lines over; the monitor takes off what it lets go.
    std::atomic<qint32> waiting{0};
};

} // namespace Ordavex
