// Feeds arbitrary bytes to the reader of the board program's messages, whole and cut
// into pieces chosen by the first byte: the same messages come out either way, nothing
// is held past a failure, a snapshot either reads as a heat or is refused, and a heat
// read back from its own snapshot is the same heat.
#include "check.h"
#include "core/boardmessage.h"

#include <cstdint>

using namespace Ordavex;

namespace {

QList<QJsonObject> readAll(QByteArrayView stream, qsizetype chunk, BoardMessageReader &reader)
{
    QList<QJsonObject> messages;
    for (qsizetype pos = 0; pos < stream.size(); pos += chunk) {
        reader.append(stream.sliced(pos, std::min(chunk, stream.size() - pos)));
        while (std::optional<QJsonObject> message = reader.next())
            messages.append(*message);
    }
    return messages;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArrayView stream(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));

    BoardMessageReader whole;
    const QList<QJsonObject> a = readAll(stream, std::max<qsizetype>(stream.size(), 1), whole);
    BoardMessageReader pieces;
    const QList<QJsonObject> b = readAll(stream, qsizetype(data[0] % 16) + 1, pieces);
    Check(a == b, "the same messages whole and in pieces");
    Check(whole.failed() == pieces.failed(), "the same failure whole and in pieces");
    Check(!whole.failed() || whole.pending() == 0, "nothing held after a failure");

    for (const QJsonObject &message : a) {
        (void)BoardProtocolMismatch(message);
        const std::optional<BoardHeat> heat = BoardHeatFromSnapshot(message.value(QStringLiteral("heat")));
        if (!heat)
            continue;
        const std::optional<BoardHeat> again = BoardHeatFromSnapshot(BoardHeatSnapshot(*heat));
        Check(again.has_value(), "a heat's own snapshot reads back");
        Check(again->race == heat->race && again->rows.size() == heat->rows.size() && again->version == heat->version
                  && again->wind == heat->wind && again->saved == heat->saved,
              "a heat read back from its snapshot is the same");
    }
    return 0;
}
