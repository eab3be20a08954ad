// Feeds arbitrary bytes to the result-file reader and checks what any read must leave.
#include "check.h"
#include "core/gridmodel.h"
#include "core/resultfile.h"

#include <cstdint>

using namespace Ordavex;

namespace {

bool IsDecimalInt(const QString &text)
{
    if (text.isEmpty() || text.size() > 10 || (text.size() > 1 && text.front() == u'0'))
        return false;
    qint64 value = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value <= 2147483647;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // One grid for every input, as in the program: rows hidden by one read must come
    // back empty in the next.
    static ResultGrid grid;
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));

    const ReadOutcome outcome = ReadResultText(bytes, grid);

    Check(outcome.entriesCleared, "entries cleared");
    Check(grid.gridRowCount() >= 2 && grid.gridRowCount() <= MaxResultLines, "row count within 2..501");
    if (outcome.ok) {
        Check(outcome.messages.isEmpty(), "no message on success");
    } else {
        Check(outcome.messages.size() == 1, "one message on failure");
        const QString &message = outcome.messages.front();
        Check(message == MsgTooManyLines.arg(MaxCompetitors) || message == MsgTooManyColumns
                  || message == MsgReadFailure,
              "known failure message");
        if (message == MsgTooManyLines.arg(MaxCompetitors))
            Check(grid.gridRowCount() == 2 && GridIsEmpty(grid), "grid cleared on too many lines");
    }

    for (int col = 0; col < ResultGrid::ColCount; ++col) {
        const QString heading = grid.cell(col, 0);
        Check(heading.size() <= MaxFieldLength, "heading within 255 characters");
        Check(heading.isEmpty() || (heading.front().unicode() > 0x20 && heading.back().unicode() > 0x20),
              "heading trimmed");
    }
    for (int row = 1; row < grid.gridRowCount(); ++row) {
        for (int col = 0; col < ResultGrid::ColCount; ++col) {
            const QString text = grid.cell(col, row);
            Check(text.isEmpty() || IsDecimalInt(text), "data cell empty or a 32-bit decimal");
        }
    }

    TrimIncompleteRows(grid);
    Check(grid.gridRowCount() >= 2, "trimming keeps rows 1 and 2");
    for (int row = 3; row < grid.gridRowCount(); ++row)
        Check(!grid.cell(1, row).isEmpty() && !grid.cell(2, row).isEmpty(), "trimmed rows complete");
    return 0;
}
