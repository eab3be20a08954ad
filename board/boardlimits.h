#pragma once

#include <QtGlobal>

namespace Ordavex {

// What one visitor may cost the board. The defaults are the served board's; the tests
// shorten the times and bounds to reach them quickly.
struct BoardLimits
{
    int maxConnections = 256;           // beyond: "503" and closed
    qint64 maxRequestHeadBytes = 8 * 1024;  // request line and headers of one request
    int maxHeaderLines = 100;
    int idleMs = 10'000;                // no whole request in this time: cut
    qint64 maxPushBacklog = 256 * 1024; // bytes a push client has not taken yet: dropped
    int pushSendBuffer = 64 * 1024;     // the system's send buffer of a push client
    int pushIntervalMs = 100;           // pushes are coalesced to at most one per interval
    int stateIntervalMs = 500;          // how often the window hears of a changed client count
};

} // namespace Ordavex
