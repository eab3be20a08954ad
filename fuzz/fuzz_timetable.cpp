// Feeds arbitrary bytes as a timetable file: decodes, numbers, and turns every item
// into a race name, checking that no target path can leave the work folder.
#include "check.h"
#include "core/paths.h"
#include "core/timetable.h"

#include <cstdint>

using namespace Ordavex;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QStringList lines = DecodeTimetable(bytes);
    Check(CountTimetableLines(bytes) == lines.size(), "the lines counted on the bytes are the lines decoded");
    const QStringList items = NumberTimetableLines(lines);
    Check(items.size() == lines.size(), "one item per line");

    const QString work = QStringLiteral("/meet/work");
    int number = 0;
    for (qsizetype i = 0; i < items.size(); ++i) {
        const QString &item = items[i];
        Check(!item.contains(u'\r') && !item.contains(u'\n') && !item.contains(QChar(0)), "a line holds no line end or NUL");
        const bool unnumbered = lines[i].contains(u'<');
        if (unnumbered) {
            Check(item == lines[i], "an unnumbered line is listed unchanged");
            Check(!MakeRaceName(item).has_value(), "an unnumbered line is no race");
            continue;
        }
        ++number;
        Check(item.endsWith(lines[i]), "the line follows its number");
        const std::optional<QString> name = MakeRaceName(item);
        Check(name.has_value(), "a numbered line is a race");
        Check(name->startsWith(QString::number(number).rightJustified(3, u'0') + u')'), "the name keeps its number");
        for (const QString &candidate : {*name, MakeRaceName(lines[i]).value_or(QString())}) {
            if (candidate.isEmpty())
                continue;
            Check(!candidate.contains(u'/') && !candidate.contains(u'\\'), "no separator in a race name");
            Check(candidate != QStringLiteral(".") && candidate != QStringLiteral(".."), "no dot folder as a race name");
            Check(!candidate.contains(u' ') && !candidate.contains(u':'), "no space or colon in a race name");
            Check(candidate.front().unicode() >= 33 && candidate.back().unicode() >= 33, "a race name is trimmed");
            Check(Paths::folderOf(RaceTargetPath(work, candidate)) == work + u'/', "the target stays in the work folder");
        }
    }
    return 0;
}
