// Makes start lists for rehearsals: for each race named, a file of invented starters in
// the folder "startlists" of the work folder, as the program looks for it.

#include "core/atomicfile.h"
#include "core/paths.h"
#include "core/startlist.h"
#include "core/textcodec.h"
#include "core/timetable.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QRandomGenerator>

#include <cstdio>

using namespace Ordavex;

namespace {

constexpr char Description[] =
    "Makes a start list for each race named (a race name as the timetable list gives it,\n"
    "e.g. \"001)男子100m予選1組\", or a timetable file with --timetable): lanes 1 to N, each\n"
    "with a number, an invented name and team, written as <work folder>/startlists/<race>.csv\n"
    "in code page 932 (UTF-8 with its byte-order mark with --utf8). An existing file is\n"
    "replaced.";

const char16_t *const FamilyNames[] = {u"山田", u"佐藤", u"鈴木", u"高橋", u"田中", u"伊藤", u"渡辺", u"中村",
                                       u"小林", u"加藤", u"吉田", u"山本", u"松本", u"井上", u"木村", u"林"};
const char16_t *const GivenNames[] = {u"太郎", u"花子", u"一郎", u"美咲", u"健太", u"陽菜", u"翔",  u"結衣",
                                      u"大輝", u"葵",   u"蓮",   u"さくら", u"悠斗", u"凛",  u"拓海", u"美羽"};
const char16_t *const Teams[] = {u"東京陸協", u"大阪陸協", u"神奈川陸協", u"愛知陸協", u"福岡陸協", u"北海道陸協"};

template <typename T, qsizetype N>
QString Pick(QRandomGenerator &random, T (&names)[N])
{
    return QString::fromUtf16(names[random.bounded(int(N))]);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(Description));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("folder"), QStringLiteral("The work folder of the result files."));
    parser.addPositionalArgument(QStringLiteral("race"), QStringLiteral("Race names."), QStringLiteral("[race...]"));
    const QCommandLineOption lanesOption(QStringLiteral("lanes"), QStringLiteral("Starters per race (default 8)."),
                                         QStringLiteral("n"), QStringLiteral("8"));
    const QCommandLineOption timetableOption(QStringLiteral("timetable"),
                                             QStringLiteral("Every race of this timetable file."),
                                             QStringLiteral("file"));
    const QCommandLineOption utf8Option(QStringLiteral("utf8"), QStringLiteral("UTF-8 with a byte-order mark."));
    const QCommandLineOption seedOption(QStringLiteral("seed"), QStringLiteral("Random seed (default 1)."),
                                        QStringLiteral("n"), QStringLiteral("1"));
    parser.addOptions({lanesOption, timetableOption, utf8Option, seedOption});
    parser.process(app);
    const QStringList arguments = parser.positionalArguments();
    bool lanesOk = false;
    const int lanes = parser.value(lanesOption).toInt(&lanesOk);
    if (arguments.isEmpty() || !lanesOk || lanes < 1 || lanes > MaxStartListValue) {
        std::fprintf(stderr, "makestartlist: a work folder, and 1 to %d lanes\n", MaxStartListValue);
        return 2;
    }
    const QString folder = arguments.first();
    QStringList races = arguments.mid(1);
    if (parser.isSet(timetableOption)) {
        for (const QString &item : NumberTimetableLines(ReadTimetableFile(parser.value(timetableOption)))) {
            if (const std::optional<QString> race = MakeRaceName(item))
                races.append(*race);
        }
    }
    if (races.isEmpty()) {
        std::fprintf(stderr, "makestartlist: no race named\n");
        return 2;
    }
    if (!QDir(folder).mkpath(QStringLiteral("startlists"))) {
        std::fprintf(stderr, "makestartlist: cannot make the folder startlists in %s\n", qPrintable(folder));
        return 1;
    }
    QRandomGenerator random(parser.value(seedOption).toUInt());
    int number = 100;
    for (const QString &race : races) {
        QString text = QStringLiteral("ﾚｰﾝ,ﾅﾝﾊﾞｰ,氏名,所属\r\n");
        for (int lane = 1; lane <= lanes; ++lane) {
            number += 1 + int(random.bounded(9));
            text += QStringLiteral("%1,%2,%3 %4,%5\r\n")
                        .arg(lane)
                        .arg(number % (MaxStartListValue + 1))
                        .arg(Pick(random, FamilyNames), Pick(random, GivenNames), Pick(random, Teams));
        }
        const QByteArray bytes = parser.isSet(utf8Option) ? QByteArray("\xEF\xBB\xBF") + text.toUtf8() : Cp932::encode(text);
        const QString path = StartListPath(RaceTargetPath(folder, race));
        if (SaveFileAtomically(path, bytes) != SaveError::None) {
            std::fprintf(stderr, "makestartlist: cannot write %s\n", qPrintable(path));
            return 1;
        }
        std::printf("%s\n", qPrintable(path));
    }
    return 0;
}
