#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>

class QIODevice;

namespace Ordavex {

inline constexpr int DefaultBoardPort = 8080;

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
    // [Ports]: the device behind COM1 to COM5 where the system does not name its
    // serial ports so (COM1=/dev/ttyUSB0); empty when the file gives none.
    std::array<QString, 5> ports;
    // [Board]: the live results board, off until the operator turns it on.
    bool boardOn = false;
    QString boardAddress;       // empty: the first address offered (loopback)
    int boardPort = DefaultBoardPort;
    QString boardPublishFolder; // empty: nothing is published

    // Set by ReadSettings when the file is there but could not be read whole: the fields
    // then hold defaults, which WriteSettings must not write over the operator's file.
    bool readFailed = false;

    bool operator==(const Settings &) const = default;
};

// No settings file comes near this size; a larger one is not read (a failed read).
inline constexpr qint64 MaxSettingsFileSize = 1024 * 1024;

// A Windows-style INI text in code page 932. Sections and keys match without regard
// to case; lines the program does not know (comments, other keys) are kept byte for
// byte, existing keys keep their lines, new keys go to the end of their section and
// new sections to the end of the text. The text is indexed once when it is read, so
// that looking up a key does not scan the lines again.
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

    // False, and the text left as it was, when the value would not read back as it is
    // (a character code page 932 cannot hold, a line break, more than 2047 characters).
    bool writeString(const QString &section, const QString &key, const QString &value);
    void writeInteger(const QString &section, const QString &key, int value);
    void writeBool(const QString &section, const QString &key, bool value);

private:
    struct Line
    {
        QByteArray bytes;       // as read, so that lines left alone are written back unchanged
        QString text;           // decoded, for key lines only
        qsizetype keyBegin = 0;
        qsizetype keyLength = 0;    // 0: not a key line
        qsizetype valueBegin = 0;
        qsizetype valueLength = 0;

        QStringView key() const { return QStringView(text).sliced(keyBegin, keyLength); }
        QStringView value() const { return QStringView(text).sliced(valueBegin, valueLength); }
    };
    // Only the first section of a name counts, as in the Windows reader.
    struct Section
    {
        QString name;
        qsizetype lastKey;          // last key line under it, or its heading line
        QList<qsizetype> keys;      // its key lines in file order
    };

    const Line *find(QStringView section, QStringView key) const;
    Section *findSection(QStringView name);
    const Section *findSection(QStringView name) const;
    qsizetype addLine(const QByteArray &bytes);
    qsizetype addSection(const QString &name, qsizetype heading);

    QByteArray m_source;                // the text read; unchanged lines point into it
    QList<Line> m_lines;                // in the order they were read or added
    QList<qsizetype> m_order;           // the lines in file order
    QList<Section> m_sections;
    QHash<QString, qsizetype> m_sectionIndex;   // by name, A-Z folded to a-z
};

// Reads the record; a missing file, key or unreadable value gives the default. The
// default of exFilePath is defaultWorkFolder, that of exLogFilePath the exFilePath read.
// A file that is there but cannot be read whole (no regular file, larger than
// MaxSettingsFileSize, a read error) gives the defaults with readFailed set.
Settings ReadSettings(const QString &path, const QString &defaultWorkFolder);
// The same from an open device: the seam through which tests make a read fail.
Settings ReadSettings(QIODevice &device, const QString &defaultWorkFolder);
// The file-free part of ReadSettings.
Settings SettingsFromBytes(const QByteArray &bytes, const QString &defaultWorkFolder);

// Writes the 30 keys in table order into the file, keeping everything else in it, and
// the section Ports in full (COM1 to COM5, empty where no device is given) once the
// record or the file has an entry there, so that the operator finds every key; the
// section Board likewise (Enabled, Address, Port, PublishFolder). The
// file is replaced as a whole (SaveFileAtomically) or not at all: on failure it throws
// RuntimeError "%s に書き込めません" naming the path, and the old file is left exactly
// as it was; a text that would grow past MaxSettingsFileSize is such a failure. A file
// that holds the same bytes already is not written again.
//
// Returns the keys whose values could not be stored because they would not read back as
// they are (a folder name with characters code page 932 cannot hold): each keeps its
// line as it was (or gets none), and the caller tells the operator once.
//
// A record from a failed read (readFailed) holds defaults, not the operator's settings:
// it throws "%s に書き込めません" while the file still cannot be read, and once it can,
// leaves it untouched and returns every key as not stored.
QStringList WriteSettings(const QString &path, const Settings &settings);
// The file-free part of WriteSettings: the new text made from the old one.
QByteArray SettingsBytes(const QByteArray &oldBytes, const Settings &settings, QStringList *notStored);

// The names of the 30 keys in file order (without the section Ports).
QStringList SettingsKeys();

} // namespace Ordavex
