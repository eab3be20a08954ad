// Feeds arbitrary bytes as a start list: a list that is read holds no lane or number
// twice, none out of range, no starter without either, no field past its limit, and
// every starter is found by its lane and its number.
#include "check.h"
#include "core/startlist.h"

#include <cstdint>

using namespace Ordavex;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const StartListRead read = ParseStartList(bytes);
    Check(read.list.has_value() == read.error.isEmpty(), "a list, or why there is none");
    if (!read.list)
        return 0;
    for (const Starter &starter : read.list->starters) {
        Check(starter.lane >= 0 || starter.number >= 0, "a lane or a number");
        Check(starter.lane <= MaxStartListValue && starter.number <= MaxStartListValue, "within the range");
        Check(starter.name.size() <= MaxStartListFieldLength && starter.team.size() <= MaxStartListFieldLength,
              "fields within their limit");
        Check(starter.lane < 0 || read.list->byLane(starter.lane) == &starter, "found by its lane, alone");
        Check(starter.number < 0 || read.list->byNumber(starter.number) == &starter, "found by its number, alone");
        Check(!StarterText(starter.lane, starter).isEmpty(), "a text to show");
    }
    return 0;
}
