#include "simstream.h"

#include <QRandomGenerator>
#include <QRegularExpression>

#include <algorithm>
#include <numeric>

namespace Ordavex::Sim {

QString FormatTime(int hundredths)
{
    const int minutes = hundredths / 6000;
    const int seconds = hundredths / 100 % 60;
    const int rest = hundredths % 100;
    if (minutes == 0)
        return QStringLiteral("%1.%2").arg(seconds).arg(rest, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2.%3").arg(minutes).arg(seconds, 2, 10, QLatin1Char('0')).arg(rest, 2, 10, QLatin1Char('0'));
}

int ParseTime(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^(?:(\\d{1,3}):(\\d\\d)|(\\d{1,5}))\\.(\\d\\d)$"));
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch())
        return -1;
    const int hundredths = m.captured(4).toInt();
    if (m.hasCaptured(3) && !m.captured(3).isEmpty())
        return m.captured(3).toInt() * 100 + hundredths;
    const int seconds = m.captured(2).toInt();
    if (seconds > 59)
        return -1;
    return (m.captured(1).toInt() * 60 + seconds) * 100 + hundredths;
}

QList<QByteArray> HeatLines(const HeatOptions &options, int heat)
{
    QRandomGenerator random(options.seed * 7919u + quint32(heat));
    QList<QByteArray> lines;
    if (!options.wind.isEmpty())
        lines.append(options.wind.toLatin1());

    const int n = std::max(options.records, 0);
    QList<int> lanes(n);
    std::iota(lanes.begin(), lanes.end(), 1);
    std::shuffle(lanes.begin(), lanes.end(), random);
    const int fields = std::max({options.placeField, options.laneField, options.bibField, options.timeField}) + 1;
    int time = options.firstTime;
    for (int place = 1; place <= n; ++place) {
        QList<QByteArray> record(fields, QByteArrayLiteral("R"));
        record[options.placeField] = QByteArray::number(place);
        record[options.laneField] = QByteArray::number(lanes[place - 1]);
        record[options.bibField] = QByteArray::number(100 + heat * 10 + lanes[place - 1]);
        record[options.timeField] = FormatTime(time).toLatin1();
        lines.append(record.join(options.separator));
        time += int(random.bounded(0, 40));
    }
    return lines;
}

QByteArray FrameLine(const QByteArray &line, Framing framing)
{
    switch (framing) {
    case Framing::StxEtxCrLf:
        return '\x02' + line + "\x03\r\n";
    case Framing::CrLf:
        return line + "\r\n";
    case Framing::Cr:
        return line + '\r';
    }
    return line;
}

QByteArray HeatStream(const HeatOptions &options, int heat)
{
    QByteArray stream;
    for (const QByteArray &line : HeatLines(options, heat))
        stream += FrameLine(line, options.framing);
    return stream;
}

QByteArray MakeBadStream(BadStream kind, int size, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray stream;
    stream.reserve(size);
    static const char framing[] = {'\x02', '\x03', '\r', '\n'};
    while (stream.size() < size) {
        switch (kind) {
        case BadStream::LongLines: {
            const int length = int(random.bounded(516, 2001));
            QByteArray line(length, 'L');
            for (int i = 0; i < length; i += 10)
                line[i] = char('0' + i / 10 % 10);
            stream += "\x02" + line + "\x03\r\n";
            break;
        }
        case BadStream::NulBytes:
            stream += QByteArrayLiteral("\x02\0R,1,3,12.34\x03\r\n\x02R,2,\0" "4,12.56\x03\r\n\0\0\r\n");
            break;
        case BadStream::FramingOnly:
            stream += framing[random.bounded(4)];
            break;
        case BadStream::RandomBytes:
            stream += char(random.bounded(256));
            break;
        }
    }
    stream.truncate(size);
    return stream;
}

} // namespace Ordavex::Sim
