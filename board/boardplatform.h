#pragma once

#include <QtGlobal>

// What the board process asks of the system, in one place per platform.
namespace Ordavex {

// Caps the process's address space at the given size, so that even a fault in the board
// cannot take the machine's memory, lowers its priority below the official's window,
// lets it hold as many sockets as the system allows, and has it end with the program
// that started it. Returns false where a limit could
// not be set (the board runs on, unbounded by the system).
bool ApplyBoardProcessLimits(qint64 memoryBytes);

// Blocks until bytes come on the standard input: their count, 0 at its end, -1 on an error.
qint64 ReadStandardInput(char *buffer, qint64 size);

// Writes all of the bytes to the standard output; false when the reader has gone.
bool WriteStandardOutput(const char *bytes, qint64 size);

} // namespace Ordavex
