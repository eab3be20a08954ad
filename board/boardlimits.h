#pragma once

#include <QtGlobal>

namespace Ordavex {

// What one visitor may cost the board. The defaults are the served board's; the tests
// shorten the times and bounds to reach them quickly.
struct BoardLimits
{
    int maxConnections = 256;           // beyond: the oldest waiting for a request goes, else "503"
    int maxPerPeer = 32;                // from one address; beyond: its oldest that never asked goes, else "503"
    qint64 maxRequestHeadBytes = 8 * 1024;  // request line and headers of one request
    int maxHeaderLines = 100;
    qint64 maxRequestBodyBytes = 16 * 1024; // the board takes no bodies; one is only skipped
    int idleMs = 3'000;                 // no whole request in this time: cut
    int keepAliveMs = 10'000;           // answered, and nothing more asked in this time: cut
    qint64 maxUnsentBytes = 256 * 1024; // bytes any client has not taken yet: dropped
    int pushSendBuffer = 64 * 1024;     // the system's send buffer of a push client
    int pushIntervalMs = 100;           // pushes are coalesced to at most one per interval
    int stateIntervalMs = 500;          // how often the window hears of a changed client count

    // What a push client may send: it has nothing to say but pongs.
    int pingIntervalMs = 20'000;        // a push client is pinged this often
    int pongTimeoutMs = 10'000;         // no pong, or nothing taken of what waits, in this time: dropped
    qint64 maxIncomingFrameBytes = 1024;
    int maxIncomingFramesPerSecond = 20;    // sustained; twice as many may come at once
    qint64 maxIncomingBytesPerSecond = 4 * 1024;
};

} // namespace Ordavex
