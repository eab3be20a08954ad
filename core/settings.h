#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace Ordavex {

// The settings record: one field per key of the settings file, in file order.
struct Settings
{
    // [WorkFiles]
    QString exFilePath;
    QString exLogFilePath;
    // [Params]
    int Maxrunner = 8;
    int RaceKind = 1;
    int AssigKind = 5;
    int CurStyle = 3;
    bool QuickInput = true;
    bool validCheck = true;
    bool sixtyFix = true;
    bool autoInc = true;
    bool autoClear = true;
    int NumColID = 0;
    int cComName = 0;
    int cBauRate = 8;
    int cBitSize = 3;
    int cParity = 0;
    int cStopBits = 0;
    int cPlace = 1;
    int cLane = 2;
    int cTime = 4;
    int cZekken = 3;
    int cWaitTime = 1;
    int cLogExtOpt = 0;
    bool cCheckAutoLog = true;
    bool cCheckTimerON = true;
    int cComName2 = 0;
    bool cUseSubCom = false;
    bool cCheckTimerON2 = false;
    bool MustComma = true;
    int MinBuffLen = 0;

    bool operator==(const Settings &) const = default;
};

// A Windows-style INI text in code page 932. Sections and keys match without regard
// to case; lines the program does not know (comments, other keys) are kept as they
// are, existing keys keep their lines, new keys go to the end of their section and
// new sections to the end of the text.
class IniFile final
{
public:
    IniFile() = default;
    static IniFile fromBytes(const QByteArray &bytes);
    QByteArray toBytes() const;

    // Read up to 2047 characters; blanks around the value are dropped and one pair of
    // enclosing quotes is removed.
    QString readString(const QString &section, const QString &key, const QString &defaultValue) const;
    // Decimal, or hexadecimal after "0x"/"0X" when longer than two characters; anything
    // else, or a missing key, gives the default.
    int readInteger(const QString &section, const QString &key, int defaultValue) const;
    bool readBool(const QString &section, const QString &key, bool defaultValue) const;

    void writeString(const QString &section, const QString &key, const QString &value);
    void writeInteger(const QString &section, const QString &key, int value);
    void writeBool(const QString &section, const QString &key, bool value);

private:
    qsizetype findSection(const QString &section) const;
    qsizetype findKey(qsizetype sectionLine, const QString &key) const;
    const QString *value(const QString &section, const QString &key) const;
    bool isSectionLine(qsizetype line) const;
    void appendLine(const QByteArray &bytes);
    void setLine(qsizetype line, const QByteArray &bytes);

    QList<QString> m_lines;
    QList<QString> m_values;    // per line: the raw value text of a key line, else empty
    QList<QString> m_keys;      // per line: the key of a key line, else empty
    // Per line: the bytes as read, so that lines left alone are written back unchanged
    // even where they do not decode.
    QList<QByteArray> m_bytes;
};

// Reads the record; a missing file, key or unreadable value gives the default. The
// default of exFilePath is defaultWorkFolder, that of exLogFilePath the exFilePath read.
Settings ReadSettings(const QString &path, const QString &defaultWorkFolder);

// Writes the 30 keys in table order into the file, keeping everything else in it. The
// file is replaced as a whole or not at all: on failure it throws RuntimeError
// "%s に書き込めません" naming the path and the old file is left exactly as it was.
void WriteSettings(const QString &path, const Settings &settings);

} // namespace Ordavex
