#include "settings.h"

#include "runtimeerror.h"
#include "textcodec.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <type_traits>

namespace Ordavex {

using namespace Qt::StringLiterals;

namespace {

// The Windows profile reader hands back at most this many characters of a text.
constexpr qsizetype MaxTextLength = 2047;

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\v' || c == u'\f' || c == u'\r';
}

QStringView trimBlanks(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}

// Section and key names match as Windows matches them for ASCII names: A-Z equals a-z.
bool sameName(QStringView a, QStringView b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        char16_t x = a[i].unicode();
        char16_t y = b[i].unicode();
        if (x >= u'A' && x <= u'Z')
            x += u'a' - u'A';
        if (y >= u'A' && y <= u'Z')
            y += u'a' - u'A';
        if (x != y)
            return false;
    }
    return true;
}

// "[name]" with blanks allowed around the line and inside the brackets.
bool parseSectionLine(QStringView line, QStringView *name)
{
    const QStringView text = trimBlanks(line);
    if (!text.startsWith(u'['))
        return false;
    const qsizetype close = text.indexOf(u']');
    if (close < 0)
        return false;
    *name = trimBlanks(text.sliced(1, close - 1));
    return true;
}

// "key=value"; comment lines (";") and lines without a key are not key lines.
bool parseKeyLine(QStringView line, QStringView *key, QStringView *value)
{
    const QStringView text = trimBlanks(line);
    if (text.startsWith(u';') || text.startsWith(u'['))
        return false;
    const qsizetype eq = text.indexOf(u'=');
    if (eq <= 0)
        return false;
    *key = trimBlanks(text.first(eq));
    *value = trimBlanks(text.sliced(eq + 1));
    return !key->isEmpty();
}

QStringView unquoted(QStringView value)
{
    if (value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"'))
        return value.sliced(1, value.size() - 2);
    return value;
}

// The text as it goes after "key=". A line break would end the line and let the rest
// pose as further keys or sections, so it becomes a blank. Blanks at either end and
// enclosing quotes would be lost on reading, so such a value is quoted: the reader
// removes exactly that pair again.
QString storedForm(const QString &value)
{
    QString text = value;
    text.replace(u'\r', u' ').replace(u'\n', u' ');
    if (text.isEmpty())
        return text;
    if (isBlank(text.front()) || isBlank(text.back()) || unquoted(text).size() != text.size())
        return u'"' + text + u'"';
    return text;
}

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

bool parseInteger(QStringView text, int *value)
{
    if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) {
        // A 32-bit pattern: 0xFFFFFFFF is -1. Leading zeros do not count against the
        // eight digits; a larger value is not a valid integer.
        quint64 result = 0;
        for (QChar c : text.sliced(2)) {
            const int digit = hexDigit(c);
            if (digit < 0)
                return false;
            result = result * 16 + quint64(digit);
            if (result > 0xFFFFFFFFu)
                return false;
        }
        *value = int(quint32(result));
        return true;
    }
    return TryStrToInt(text, value);
}

// The 28 keys of [Params] in file order, each handed to visit with its field, so
// that reading and writing cannot disagree about names, order or types.
template <typename Record, typename Visit>
void visitParams(Record &s, Visit visit)
{
    visit(u"Maxrunner"_s, s.Maxrunner);
    visit(u"RaceKind"_s, s.RaceKind);
    visit(u"AssigKind"_s, s.AssigKind);
    visit(u"CurStyle"_s, s.CurStyle);
    visit(u"QuickInput"_s, s.QuickInput);
    visit(u"validCheck"_s, s.validCheck);
    visit(u"sixtyFix"_s, s.sixtyFix);
    visit(u"autoInc"_s, s.autoInc);
    visit(u"autoClear"_s, s.autoClear);
    visit(u"NumColID"_s, s.NumColID);
    visit(u"cComName"_s, s.cComName);
    visit(u"cBauRate"_s, s.cBauRate);
    visit(u"cBitSize"_s, s.cBitSize);
    visit(u"cParity"_s, s.cParity);
    visit(u"cStopBits"_s, s.cStopBits);
    visit(u"cPlace"_s, s.cPlace);
    visit(u"cLane"_s, s.cLane);
    visit(u"cTime"_s, s.cTime);
    visit(u"cZekken"_s, s.cZekken);
    visit(u"cWaitTime"_s, s.cWaitTime);
    visit(u"cLogExtOpt"_s, s.cLogExtOpt);
    visit(u"cCheckAutoLog"_s, s.cCheckAutoLog);
    visit(u"cCheckTimerON"_s, s.cCheckTimerON);
    visit(u"cComName2"_s, s.cComName2);
    visit(u"cUseSubCom"_s, s.cUseSubCom);
    visit(u"cCheckTimerON2"_s, s.cCheckTimerON2);
    visit(u"MustComma"_s, s.MustComma);
    visit(u"MinBuffLen"_s, s.MinBuffLen);
}

} // namespace

IniFile IniFile::fromBytes(const QByteArray &bytes)
{
    IniFile ini;
    // Neither LF nor CR is ever the second byte of a code page 932 character, so the
    // lines can be cut before decoding and each keeps its bytes.
    QList<QByteArray> lines = bytes.split('\n');
    if (lines.last().isEmpty())
        lines.removeLast();
    for (QByteArray &line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        ini.appendLine(line);
    }
    return ini;
}

QByteArray IniFile::toBytes() const
{
    QByteArray bytes;
    for (const QByteArray &line : m_bytes) {
        bytes += line;
        bytes += "\r\n";
    }
    return bytes;
}

QString IniFile::readString(const QString &section, const QString &key, const QString &defaultValue) const
{
    const QString *text = value(section, key);
    if (!text)
        return defaultValue;
    return unquoted(*text).left(MaxTextLength).toString();
}

int IniFile::readInteger(const QString &section, const QString &key, int defaultValue) const
{
    const QString *text = value(section, key);
    int result = 0;
    if (!text || !parseInteger(unquoted(*text), &result))
        return defaultValue;
    return result;
}

bool IniFile::readBool(const QString &section, const QString &key, bool defaultValue) const
{
    return readInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void IniFile::writeString(const QString &section, const QString &key, const QString &value)
{
    const qsizetype sectionLine = findSection(section);
    if (sectionLine < 0) {
        appendLine(Cp932::encode(u'[' + section + u']'));
        appendLine(Cp932::encode(key + u'=' + storedForm(value)));
        return;
    }
    const qsizetype keyLine = findKey(sectionLine, key);
    if (keyLine >= 0) {
        // The key keeps the spelling it has in the file.
        setLine(keyLine, Cp932::encode(m_keys[keyLine] + u'=' + storedForm(value)));
        return;
    }
    qsizetype insertAt = sectionLine + 1;
    for (qsizetype i = sectionLine + 1; i < m_lines.size() && !isSectionLine(i); ++i) {
        if (!m_keys[i].isEmpty())
            insertAt = i + 1;
    }
    // After the section's last key, so that blank lines and notes that end the section
    // stay between it and the next one.
    m_lines.insert(insertAt, QString());
    m_values.insert(insertAt, QString());
    m_keys.insert(insertAt, QString());
    m_bytes.insert(insertAt, QByteArray());
    setLine(insertAt, Cp932::encode(key + u'=' + storedForm(value)));
}

void IniFile::writeInteger(const QString &section, const QString &key, int value)
{
    writeString(section, key, QString::number(value));
}

void IniFile::writeBool(const QString &section, const QString &key, bool value)
{
    writeString(section, key, value ? u"1"_s : u"0"_s);
}

// With a section name given twice, the first one is the section, as in the Windows reader.
qsizetype IniFile::findSection(const QString &section) const
{
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        QStringView name;
        if (parseSectionLine(m_lines[i], &name) && sameName(name, section))
            return i;
    }
    return -1;
}

// With a key given twice in a section, the first one wins for reading and writing
// alike: the Windows reader stops at the first, and writing elsewhere would give a
// value that reading never sees.
qsizetype IniFile::findKey(qsizetype sectionLine, const QString &key) const
{
    for (qsizetype i = sectionLine + 1; i < m_lines.size() && !isSectionLine(i); ++i) {
        if (!m_keys[i].isEmpty() && sameName(m_keys[i], key))
            return i;
    }
    return -1;
}

const QString *IniFile::value(const QString &section, const QString &key) const
{
    const qsizetype sectionLine = findSection(section);
    if (sectionLine < 0)
        return nullptr;
    const qsizetype keyLine = findKey(sectionLine, key);
    return keyLine < 0 ? nullptr : &m_values[keyLine];
}

bool IniFile::isSectionLine(qsizetype line) const
{
    QStringView name;
    return parseSectionLine(m_lines[line], &name);
}

void IniFile::appendLine(const QByteArray &bytes)
{
    m_lines.append(QString());
    m_values.append(QString());
    m_keys.append(QString());
    m_bytes.append(QByteArray());
    setLine(m_lines.size() - 1, bytes);
}

void IniFile::setLine(qsizetype line, const QByteArray &bytes)
{
    m_bytes[line] = bytes;
    m_lines[line] = Cp932::decode(bytes);
    QStringView key;
    QStringView value;
    if (parseKeyLine(m_lines[line], &key, &value)) {
        m_keys[line] = key.toString();
        m_values[line] = value.toString();
    } else {
        m_keys[line].clear();
        m_values[line].clear();
    }
}

Settings ReadSettings(const QString &path, const QString &defaultWorkFolder)
{
    IniFile ini;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly))
        ini = IniFile::fromBytes(file.readAll());

    Settings s;
    s.exFilePath = ini.readString(u"WorkFiles"_s, u"exFilePath"_s, defaultWorkFolder);
    s.exLogFilePath = ini.readString(u"WorkFiles"_s, u"exLogFilePath"_s, s.exFilePath);
    // Each field still holds its default here.
    visitParams(s, [&ini](const QString &key, auto &field) {
        if constexpr (std::is_same_v<std::remove_cvref_t<decltype(field)>, bool>)
            field = ini.readBool(u"Params"_s, key, field);
        else
            field = ini.readInteger(u"Params"_s, key, field);
    });
    return s;
}

void WriteSettings(const QString &path, const Settings &settings)
{
    const auto failure = [&path] {
        return RuntimeError(QStringLiteral("%1 に書き込めません").arg(path));
    };

    IniFile ini;
    const QFileInfo info(path);
    if (info.exists()) {
        // A file the user made read-only stays as it is, even where the folder would
        // let it be replaced.
        if (!info.isFile() || !info.isWritable())
            throw failure();
        // Without the old text the lines we do not know would be lost.
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw failure();
        const QByteArray bytes = file.readAll();
        if (file.error() != QFileDevice::NoError)
            throw failure();
        ini = IniFile::fromBytes(bytes);
    }

    ini.writeString(u"WorkFiles"_s, u"exFilePath"_s, settings.exFilePath);
    ini.writeString(u"WorkFiles"_s, u"exLogFilePath"_s, settings.exLogFilePath);
    visitParams(settings, [&ini](const QString &key, const auto &field) {
        if constexpr (std::is_same_v<std::remove_cvref_t<decltype(field)>, bool>)
            ini.writeBool(u"Params"_s, key, field);
        else
            ini.writeInteger(u"Params"_s, key, field);
    });

    // Written beside the file and renamed over it, so that a failure part-way leaves
    // the old file whole.
    const QByteArray bytes = ini.toBytes();
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit())
        throw failure();
}

} // namespace Ordavex
