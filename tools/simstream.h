#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// The byte streams of the timing-machine simulator, built apart from any device so that
// the tests can check them.
namespace Ordavex::Sim {

enum class Framing {
    StxEtxCrLf,     // STX, record, ETX, CR, LF
    CrLf,           // record, CR, LF
    Cr,             // record, CR
};

enum class BadStream {
    LongLines,      // lines of 516 to 2000 bytes
    NulBytes,       // records with NUL bytes at the start, inside and alone
    FramingOnly,    // STX, ETX, CR and LF only
    RandomBytes,    // any bytes
};

struct HeatOptions
{
    int records = 8;
    QString wind;                   // the wind line, e.g. "+1.2"; empty for none
    char separator = ',';           // ',' or '\t'
    int placeField = 1;             // field numbers, counted from 0
    int laneField = 2;
    int bibField = 3;
    int timeField = 4;
    int firstTime = 1034;           // the winner's time in hundredths
    Framing framing = Framing::StxEtxCrLf;
    quint32 seed = 1;
};

// "12.34", or "1:02.34" from a minute on.
QString FormatTime(int hundredths);
// A time as typed on the command line ("10.34", "1:02.34"); -1 when it is none.
int ParseTime(const QString &text);

// The lines of one heat, unframed: the wind line if any, then one record per finisher
// in place order. Fields not otherwise used hold "R". Lanes, bibs and gaps come from
// the seed and the heat number, so a heat can be rebuilt to check what arrived.
QList<QByteArray> HeatLines(const HeatOptions &options, int heat);
QByteArray FrameLine(const QByteArray &line, Framing framing);
QByteArray HeatStream(const HeatOptions &options, int heat);
QByteArray MakeBadStream(BadStream kind, int size, quint32 seed);

} // namespace Ordavex::Sim
