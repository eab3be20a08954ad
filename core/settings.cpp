#include "settings.h"

#include "atomicfile.h"
#include "runtimeerror.h"
#include "textcodec.h"

#include <QFileInfo>

#include <algorithm>
#include <type_traits>

namespace Ordavex {

using namespace Qt::StringLiterals;

namespace {

// The Windows profile reader hands back at most this many characters of a text.
constexpr qsizetype MaxTextLength = 2047;

// Blanks around names and values are the same as around any text: everything up to
// U+0020.
bool isBlank(QChar c)
{
    return c.unicode() <= 0x20;
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

// The name by which a section is looked up, A-Z folded to a-z as sameName does.
QString foldedName(QStringView name)
{
    QString folded = name.toString();
    for (QChar &c : folded) {
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + (u'a' - u'A'));
    }
    return folded;
}

// "[name]" with blanks allowed around the line and inside the brackets.
bool parseSectionLine(QStringView line, QStringView *name)
{
    const QStringView text = TrimmedView(line);
    if (!text.startsWith(u'['))
        return false;
    const qsizetype close = text.indexOf(u']');
    if (close < 0)
        return false;
    *name = TrimmedView(text.sliced(1, close - 1));
    return true;
}

// "key=value"; comment lines (";") and lines without a key are not key lines.
bool parseKeyLine(QStringView line, QStringView *key, QStringView *value)
{
    const QStringView text = TrimmedView(line);
    if (text.startsWith(u';') || text.startsWith(u'['))
        return false;
    const qsizetype eq = text.indexOf(u'=');
    if (eq <= 0)
        return false;
    *key = TrimmedView(text.first(eq));
    *value = TrimmedView(text.sliced(eq + 1));
    return !key->isEmpty();
}

QStringView unquoted(QStringView value)
{
    if (value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"'))
        return value.sliced(1, value.size() - 2);
    return value;
}

// The text as it goes after "key=". Blanks at either end and enclosing quotes would be
// lost on reading, so such a value is quoted: the reader removes exactly that pair again.
QString storedForm(const QString &value)
{
    if (value.isEmpty())
        return value;
    if (isBlank(value.front()) || isBlank(value.back()) || unquoted(value).size() != value.size())
        return u'"' + value + u'"';
    return value;
}

QString readBack(QStringView rawValue)
{
    return unquoted(rawValue).left(MaxTextLength).toString();
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

// COM1 to COM5.
QString portKey(std::size_t index)
{
    return u"COM"_s + IntToStr(int(index) + 1);
}

// The keys of [Board], in file order.
const QString BoardSection = u"Board"_s;
const QString BoardEnabledKey = u"Enabled"_s;
const QString BoardAddressKey = u"Address"_s;
const QString BoardPortKey = u"Port"_s;
const QString BoardPublishFolderKey = u"PublishFolder"_s;

Settings failedRead(const QString &defaultWorkFolder)
{
    Settings s = SettingsFromBytes({}, defaultWorkFolder);
    s.readFailed = true;
    return s;
}

} // namespace

IniFile IniFile::fromBytes(const QByteArray &bytes)
{
    IniFile ini;
    ini.m_source = bytes;
    // Neither LF nor CR is ever the second byte of a code page 932 character, so the
    // lines can be cut before decoding and each keeps its bytes. Each line is looked at
    // once: sections and their key lines are indexed as they come.
    qsizetype current = -1;     // the current section when it counts
    const qsizetype size = bytes.size();
    const qsizetype lines = bytes.count('\n') + 1;
    ini.m_lines.reserve(lines);
    ini.m_order.reserve(lines);
    for (qsizetype begin = 0; begin < size;) {
        qsizetype end = bytes.indexOf('\n', begin);
        const qsizetype next = end < 0 ? size : end + 1;
        if (end < 0)
            end = size;
        qsizetype length = end - begin;
        if (length > 0 && bytes[end - 1] == '\r')
            --length;
        const qsizetype index = ini.addLine(QByteArray::fromRawData(bytes.constData() + begin, length));
        ini.m_order.append(index);
        begin = next;

        const Line &line = ini.m_lines[index];
        if (line.keyLength > 0) {
            if (current >= 0) {
                ini.m_sections[current].lastKey = index;
                ini.m_sections[current].keys.append(index);
            }
            continue;
        }
        QStringView name;
        const QString text = line.bytes.contains('[') ? Cp932::decode(line.bytes) : QString();
        if (!text.isEmpty() && parseSectionLine(text, &name)) {
            current = -1;
            if (!ini.findSection(name))
                current = ini.addSection(name.toString(), index);
        }
    }
    return ini;
}

QByteArray IniFile::toBytes() const
{
    qsizetype size = 0;
    for (const Line &line : m_lines)
        size += line.bytes.size() + 2;
    QByteArray bytes;
    bytes.reserve(size);
    for (const qsizetype index : m_order) {
        bytes += m_lines[index].bytes;
        bytes += "\r\n";
    }
    return bytes;
}

// Looked up by name, not by a walk over the sections: a file of many sections would
// otherwise cost a walk for every section line.
IniFile::Section *IniFile::findSection(QStringView name)
{
    const auto found = m_sectionIndex.constFind(foldedName(name));
    return found == m_sectionIndex.cend() ? nullptr : &m_sections[*found];
}

qsizetype IniFile::addSection(const QString &name, qsizetype heading)
{
    m_sections.append({name, heading, {}});
    m_sectionIndex.insert(foldedName(name), m_sections.size() - 1);
    return m_sections.size() - 1;
}

const IniFile::Section *IniFile::findSection(QStringView name) const
{
    return const_cast<IniFile *>(this)->findSection(name);
}

// With a key given twice in a section, the first one wins for reading and writing
// alike: the Windows reader stops at the first, and writing elsewhere would give a
// value that reading never sees.
const IniFile::Line *IniFile::find(QStringView section, QStringView key) const
{
    const Section *found = findSection(section);
    if (!found)
        return nullptr;
    for (const qsizetype index : found->keys) {
        if (sameName(m_lines[index].key(), key))
            return &m_lines[index];
    }
    return nullptr;
}

QString IniFile::readString(const QString &section, const QString &key, const QString &defaultValue) const
{
    const Line *line = find(section, key);
    return line ? readBack(line->value()) : defaultValue;
}

int IniFile::readInteger(const QString &section, const QString &key, int defaultValue) const
{
    const Line *line = find(section, key);
    int result = 0;
    if (!line || !parseInteger(unquoted(line->value()), &result))
        return defaultValue;
    return result;
}

bool IniFile::readBool(const QString &section, const QString &key, bool defaultValue) const
{
    return readInteger(section, key, defaultValue ? 1 : 0) != 0;
}

bool IniFile::writeString(const QString &section, const QString &key, const QString &value)
{
    // A line break would end the line and let the rest pose as further keys or sections.
    if (value.contains(u'\n') || value.contains(u'\r'))
        return false;
    const Line *found = find(section, key);
    const qsizetype existing = found ? found - m_lines.constData() : -1;
    // The key keeps the spelling it has in the file.
    const QString spelling = found ? found->key().toString() : key;
    bool lossless = true;
    const QByteArray bytes = Cp932::encode(spelling + u'=' + storedForm(value), &lossless);
    if (!lossless)
        return false;
    const qsizetype index = addLine(bytes);
    const Line &line = m_lines[index];
    if (line.key() != spelling || readBack(line.value()) != value) {
        m_lines.removeLast();
        return false;
    }

    if (existing >= 0) {
        m_lines[existing] = m_lines.takeLast();
        return true;
    }
    Section *target = findSection(section);
    if (!target) {
        m_lines.removeLast();
        const qsizetype heading = addLine(Cp932::encode(u'[' + section + u']'));
        const qsizetype keyLine = addLine(bytes);
        m_order.append(heading);
        m_order.append(keyLine);
        Section &added = m_sections[addSection(section, keyLine)];
        added.keys.append(keyLine);
        return true;
    }
    // After the section's last key, so that blank lines and notes that end the section
    // stay between it and the next one.
    const auto after = std::find(m_order.cbegin(), m_order.cend(), target->lastKey);
    m_order.insert(after - m_order.cbegin() + 1, index);
    target->lastKey = index;
    target->keys.append(index);
    return true;
}

void IniFile::writeInteger(const QString &section, const QString &key, int value)
{
    writeString(section, key, IntToStr(value));
}

void IniFile::writeBool(const QString &section, const QString &key, bool value)
{
    writeString(section, key, value ? u"1"_s : u"0"_s);
}

// Appended to the lines, not yet placed in file order.
qsizetype IniFile::addLine(const QByteArray &bytes)
{
    Line line{bytes, {}, 0, 0, 0, 0};
    // Only a line with "=" can be a key line: the others are not decoded at all.
    QStringView key;
    QStringView value;
    if (bytes.contains('=')) {
        line.text = Cp932::decode(bytes);
        if (parseKeyLine(line.text, &key, &value)) {
            line.keyBegin = key.data() - line.text.constData();
            line.keyLength = key.size();
            line.valueBegin = value.data() - line.text.constData();
            line.valueLength = value.size();
        }
    }
    m_lines.append(std::move(line));
    return m_lines.size() - 1;
}

Settings ReadSettings(const QString &path, const QString &defaultWorkFolder)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return SettingsFromBytes({}, defaultWorkFolder);
    QByteArray bytes;
    if (!ReadWholeFile(path, MaxSettingsFileSize, &bytes))
        return failedRead(defaultWorkFolder);
    return SettingsFromBytes(bytes, defaultWorkFolder);
}

Settings ReadSettings(QIODevice &device, const QString &defaultWorkFolder)
{
    QByteArray bytes;
    if (!ReadWhole(device, MaxSettingsFileSize, &bytes))
        return failedRead(defaultWorkFolder);
    return SettingsFromBytes(bytes, defaultWorkFolder);
}

Settings SettingsFromBytes(const QByteArray &bytes, const QString &defaultWorkFolder)
{
    const IniFile ini = IniFile::fromBytes(bytes);
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
    for (std::size_t i = 0; i < s.ports.size(); ++i)
        s.ports[i] = ini.readString(u"Ports"_s, portKey(i), QString());
    s.boardOn = ini.readBool(BoardSection, BoardEnabledKey, false);
    s.boardAddress = ini.readString(BoardSection, BoardAddressKey, QString());
    // A port no server can listen on is the default, not a board that cannot start.
    s.boardPort = ini.readInteger(BoardSection, BoardPortKey, DefaultBoardPort);
    if (s.boardPort < 1 || s.boardPort > 65535)
        s.boardPort = DefaultBoardPort;
    s.boardPublishFolder = ini.readString(BoardSection, BoardPublishFolderKey, QString());
    return s;
}

QByteArray SettingsBytes(const QByteArray &oldBytes, const Settings &settings, QStringList *notStored)
{
    IniFile ini = IniFile::fromBytes(oldBytes);
    if (!ini.writeString(u"WorkFiles"_s, u"exFilePath"_s, settings.exFilePath))
        notStored->append(u"exFilePath"_s);
    if (!ini.writeString(u"WorkFiles"_s, u"exLogFilePath"_s, settings.exLogFilePath))
        notStored->append(u"exLogFilePath"_s);
    // Integers always read back.
    visitParams(settings, [&ini](const QString &key, const auto &field) {
        if constexpr (std::is_same_v<std::remove_cvref_t<decltype(field)>, bool>)
            ini.writeBool(u"Params"_s, key, field);
        else
            ini.writeInteger(u"Params"_s, key, field);
    });
    // A line break can never be read back, so it tells a missing key from an empty one.
    const QString absent = u"\n"_s;
    bool portsShown = false;
    for (std::size_t i = 0; i < settings.ports.size(); ++i) {
        portsShown = portsShown || !settings.ports[i].isEmpty()
                     || ini.readString(u"Ports"_s, portKey(i), absent) != absent;
    }
    if (portsShown) {
        for (std::size_t i = 0; i < settings.ports.size(); ++i) {
            if (!ini.writeString(u"Ports"_s, portKey(i), settings.ports[i]))
                notStored->append(portKey(i));
        }
    }
    bool boardShown = settings.boardOn || !settings.boardAddress.isEmpty() || settings.boardPort != DefaultBoardPort
                      || !settings.boardPublishFolder.isEmpty();
    for (const QString &key : {BoardEnabledKey, BoardAddressKey, BoardPortKey, BoardPublishFolderKey})
        boardShown = boardShown || ini.readString(BoardSection, key, absent) != absent;
    if (boardShown) {
        ini.writeBool(BoardSection, BoardEnabledKey, settings.boardOn);
        if (!ini.writeString(BoardSection, BoardAddressKey, settings.boardAddress))
            notStored->append(BoardAddressKey);
        ini.writeInteger(BoardSection, BoardPortKey, settings.boardPort);
        if (!ini.writeString(BoardSection, BoardPublishFolderKey, settings.boardPublishFolder))
            notStored->append(BoardPublishFolderKey);
    }
    return ini.toBytes();
}

QStringList SettingsKeys()
{
    QStringList keys{u"exFilePath"_s, u"exLogFilePath"_s};
    Settings s;
    visitParams(s, [&keys](const QString &key, const auto &) { keys.append(key); });
    return keys;
}

QStringList WriteSettings(const QString &path, const Settings &settings)
{
    const auto failure = [&path] {
        return RuntimeError(QStringLiteral("%1 に書き込めません").arg(path));
    };

    QByteArray oldBytes;
    const QFileInfo info(path);
    const bool exists = info.exists() || info.isSymLink();
    if (exists) {
        // Without the old text the lines we do not know would be lost.
        if (!ReadWholeFile(path, MaxSettingsFileSize, &oldBytes))
            throw failure();
    }
    if (settings.readFailed)
        return SettingsKeys();

    QStringList notStored;
    const QByteArray bytes = SettingsBytes(oldBytes, settings, &notStored);
    // Line ends become CR LF: a file of bare line feeds near the limit would grow past
    // what the reader takes, and be read as defaults next time.
    if (bytes.size() > MaxSettingsFileSize)
        throw failure();
    if ((!exists || bytes != oldBytes) && SaveFileAtomically(path, bytes) != SaveError::None)
        throw failure();
    return notStored;
}

} // namespace Ordavex
