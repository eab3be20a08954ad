// Settings file round trip: what is read is written back so that it reads back the same,
// every line the program does not own survives byte for byte, and a value that cannot
// be stored keeps what the file had.
//
// Input: the settings file's bytes, optionally followed by a NUL and a folder name in
// UTF-8 that is written as both folders.
#include "check.h"
#include "core/runtimeerror.h"
#include "core/settings.h"
#include "core/textcodec.h"

#include <algorithm>
#include <cstdint>

using namespace Ordavex;

namespace {

QList<QByteArray> Lines(const QByteArray &bytes)
{
    QList<QByteArray> lines = bytes.split('\n');
    if (lines.last().isEmpty())
        lines.removeLast();
    for (QByteArray &line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    return lines;
}

// Lines the program may change or add: its two section headings and key lines of its
// keys, in any section and any case.
bool MayBeOwned(const QByteArray &line)
{
    static const QStringList keys = SettingsKeys();
    const QString text = TrimText(Cp932::decode(line));
    if (text.startsWith(u'[')) {
        const qsizetype close = text.indexOf(u']');
        if (close < 0)
            return false;
        const QString name = TrimText(QStringView(text).sliced(1, close - 1));
        return name.compare(QStringLiteral("WorkFiles"), Qt::CaseInsensitive) == 0
            || name.compare(QStringLiteral("Params"), Qt::CaseInsensitive) == 0;
    }
    const qsizetype eq = text.indexOf(u'=');
    if (eq <= 0 || text.startsWith(u';'))
        return false;
    const QString key = TrimText(QStringView(text).first(eq));
    return std::any_of(keys.begin(), keys.end(),
                       [&](const QString &k) { return k.compare(key, Qt::CaseInsensitive) == 0; });
}

QList<QByteArray> NotOwned(const QByteArray &bytes)
{
    QList<QByteArray> lines;
    for (const QByteArray &line : Lines(bytes)) {
        if (!MayBeOwned(line))
            lines.append(line);
    }
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype nul = input.indexOf('\0');
    const QByteArray file = nul < 0 ? input : input.left(nul);
    const QString folder = nul < 0 ? QStringLiteral("D:\\Race") : QString::fromUtf8(input.mid(nul + 1));
    const QString defaultFolder = QStringLiteral("C:\\Work");

    // Read and written back unchanged.
    const Settings read = SettingsFromBytes(file, defaultFolder);
    Check(!read.readFailed, "bytes always read");
    QStringList notStored;
    const QByteArray written = SettingsBytes(file, read, &notStored);
    Check(SettingsFromBytes(written, defaultFolder) == read, "what was read reads back the same");
    const QList<QByteArray> notOwned = NotOwned(file);
    Check(NotOwned(written) == notOwned, "lines the program does not own survive");

    // A new folder and numbers: stored, or the old value kept.
    Settings changed = read;
    changed.exFilePath = folder;
    changed.exLogFilePath = folder;
    changed.Maxrunner = int(size);
    changed.sixtyFix = !read.sixtyFix;
    notStored.clear();
    const QByteArray rewritten = SettingsBytes(file, changed, &notStored);
    Settings expected = changed;
    for (const QString &key : std::as_const(notStored)) {
        if (key == QStringLiteral("exFilePath"))
            expected.exFilePath = read.exFilePath;
        else if (key == QStringLiteral("exLogFilePath"))
            expected.exLogFilePath = read.exLogFilePath;
        else
            Check(false, "only texts can fail to be stored");
    }
    Check(SettingsFromBytes(rewritten, defaultFolder) == expected, "a value is stored or the old one kept");
    Check(NotOwned(rewritten) == notOwned, "lines the program does not own survive a change");

    // Writing the same record again changes nothing (a kept default may gain its line).
    if (notStored.isEmpty()) {
        QStringList again;
        Check(SettingsBytes(rewritten, expected, &again) == rewritten && again.isEmpty(),
              "a second write changes nothing");
    }
    return 0;
}
