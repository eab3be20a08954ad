// The heat sheet printed from the main window, read back from the PDF file it went to,
// and the wind marker beside 風.

#include "core/gridmodel.h"
#include "core/heatsheet.h"
#include "core/textcodec.h"
#include "filesizelimit.h"
#include "ui/mainform.h"
#include "ui/sankaspin.h"
#include "workfolderwindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QToolBar>

#include <memory>

#ifdef Q_OS_LINUX
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace Ordavex;
using namespace Ordavex::Testing;

namespace {

// The standard output of a poppler tool, empty when it could not run.
QString popplerOutput(const QString &tool, const QStringList &arguments)
{
    QProcess process;
    process.start(tool, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return QString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

QString pdfText(const QString &pdf)
{
    return popplerOutput(QStringLiteral("pdftotext"),
                         {QStringLiteral("-layout"), QStringLiteral("-enc"), QStringLiteral("UTF-8"), pdf,
                          QStringLiteral("-")});
}

int pdfPages(const QString &pdf)
{
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("^Pages:\\s+(\\d+)$"), QRegularExpression::MultilineOption)
            .match(popplerOutput(QStringLiteral("pdfinfo"), {pdf}));
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

// A PDF reader's view of a word on the first page: its box in points from the top left.
QRectF wordBox(const QString &pdf, const QString &word)
{
    const QString html = popplerOutput(QStringLiteral("pdftotext"),
                                       {QStringLiteral("-bbox"), QStringLiteral("-f"), QStringLiteral("1"),
                                        QStringLiteral("-l"), QStringLiteral("1"), pdf, QStringLiteral("-")});
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" "
                                          "yMax=\"([\\d.]+)\">") + QRegularExpression::escape(word)
                           + QStringLiteral("</word>"))
            .match(html);
    if (!match.hasMatch())
        return QRectF();
    return QRectF(QPointF(match.captured(1).toDouble(), match.captured(2).toDouble()),
                  QPointF(match.captured(3).toDouble(), match.captured(4).toDouble()));
}

// The first page as the reader shows it, one pixel a point.
QImage firstPage(const QString &pdf, const QString &folder)
{
    const QString stem = Paths::join(folder, QStringLiteral("page"));
    QProcess process;
    process.start(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("72"), QStringLiteral("-gray"),
                                                QStringLiteral("-singlefile"), pdf, stem});
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return QImage();
    QImage page(stem + QStringLiteral(".pgm"));
    QFile::remove(stem + QStringLiteral(".pgm"));
    return page;
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

constexpr qreal PointsPerMm = 72 / 25.4;

} // namespace

class TestUiHeatSheet final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void menuEntryOnlyInTheMenu();
    void threeCompetitorsToPdf();
    void readableFromAMetre();
    void raceAsTheTimetableShowsIt_data();
    void raceAsTheTimetableShowsIt();
    void numberHeadingAndRoad();
    void fiveHundredRowsFillTwentyFivePages();
    void emptyGridPrintsNothing();
    void cancelPrintsNothing();
    void failingPrinterSaysSo_data();
    void failingPrinterSaysSo();
    void windThatIsNoNumberStopsIt();
    void markerFollowsTheWind();
    void namesOfTheStartList();

private:
    TForm1 &form() { return *m_form; }
    ResultGrid &grid() { return *m_form->grid(); }
    QString work(const QString &name) const { return Paths::join(m_work->path(), name); }
    void printTo(const QString &pdf)
    {
        m_dialogs->printFiles = {pdf};
        form().PrintHeatSheet->trigger();
    }
    bool markerShown() const { return !m_form->WindMarker->isHidden(); }
    void fillHeat()
    {
        form().SankaSpinNum->setValue(3);
        const char *rows[][2] = {{"4", "1052"}, {"5", "1061"}, {"3", "10275"}};
        for (int r = 0; r < 3; ++r) {
            grid().setCell(1, r + 1, QString::fromLatin1(rows[r][0]));
            grid().setCell(2, r + 1, QString::fromLatin1(rows[r][1]));
        }
    }
    // Every text of the heat, to show that printing changes none of them.
    QStringList heatTexts() const
    {
        QStringList texts{m_form->EditKaze->text(), m_form->targetPath(), m_form->SankaSpinNum->text()};
        for (int row = 0; row < m_form->grid()->gridRowCount(); ++row) {
            for (int col = 0; col < ResultGrid::ColCount; ++col)
                texts << m_form->grid()->cell(col, row);
        }
        return texts;
    }

    std::unique_ptr<WorkFolderWindow> m_window;
    ScriptedDialogs *m_dialogs = nullptr;
    ProgramFolder *m_folder = nullptr;
    ProgramFolder *m_work = nullptr;
    TForm1 *m_form = nullptr;
};

void TestUiHeatSheet::initTestCase()
{
    for (const char *tool : {"pdfinfo", "pdftotext", "pdffonts"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            QFAIL("poppler-utils is needed to read the printed sheets: tools/install-deps installs it");
    }
}

void TestUiHeatSheet::init()
{
    m_window = std::make_unique<WorkFolderWindow>();
    m_dialogs = &m_window->dialogs;
    m_folder = &m_window->folder;
    m_work = &m_window->work;
    m_form = m_window->form.get();
}

void TestUiHeatSheet::cleanup()
{
    m_window.reset();
}

void TestUiHeatSheet::menuEntryOnlyInTheMenu()
{
    QCOMPARE(form().PrintHeatSheet->text(), QStringLiteral("組ｼｰﾄ印刷"));
    QMenu *menu = form().menuBar()->actions().constFirst()->menu();
    QVERIFY(menu->actions().contains(form().PrintHeatSheet));
    QVERIFY(!form().ToolBar1->actions().contains(form().PrintHeatSheet));
    // The last entry stays "終了".
    QCOMPARE(menu->actions().constLast(), form().AC_Close);
}

void TestUiHeatSheet::threeCompetitorsToPdf()
{
    fillHeat();
    form().setTargetPath(work(QStringLiteral("001)男子100m予選1組w_112.csv")));
    form().EditKaze->setText(QStringLiteral("+2.5"));
    const QStringList before = heatTexts();
    const QString pdf = work(QStringLiteral("sheet.pdf"));
    m_dialogs->printFiles = {pdf};
    form().PrintHeatSheet->trigger();

    QCOMPARE(m_dialogs->printDialogs, 1);
    QCOMPARE(m_dialogs->shown, QStringList());
    QCOMPARE(m_dialogs->errors, QStringList());
    QCOMPARE(heatTexts(), before);
    QCOMPARE(pdfPages(pdf), 1);

    const QString text = pdfText(pdf);
    for (const QString &expected :
         {QStringLiteral("001)男子100m予選1組"), QStringLiteral("風 +2.5 m/s"), QStringLiteral("追風参考"),
          QStringLiteral("順位"), QStringLiteral("ﾚｰﾝ"), QStringLiteral("ﾀｲﾑ"), QStringLiteral("10.52"),
          QStringLiteral("10.61"), QStringLiteral("1:02.75"), QStringLiteral("審判長署名")})
        QVERIFY2(text.contains(expected), qPrintable(expected + QStringLiteral(" not in:\n") + text));
    QVERIFY2(!text.contains(QStringLiteral("w_112")), qPrintable(text));
    QVERIFY2(QRegularExpression(QStringLiteral("1\\s*/\\s*1")).match(text).hasMatch(), qPrintable(text));
    const QRegularExpression printedAt(QStringLiteral("印刷日時 (\\d{4}/\\d\\d/\\d\\d) \\d\\d:\\d\\d"));
    const QRegularExpressionMatch match = printedAt.match(text);
    QVERIFY2(match.hasMatch(), qPrintable(text));
    // Lane 4 in 10.52 on one line, in the order of the grid.
    QVERIFY(QRegularExpression(QStringLiteral("1\\s+4\\s+10\\.52")).match(text).hasMatch());
    QVERIFY(text.indexOf(QStringLiteral("10.52")) < text.indexOf(QStringLiteral("10.61")));

    // Every font is embedded, so that any reader shows the Japanese texts.
    const QStringList fonts = popplerOutput(QStringLiteral("pdffonts"), {pdf}).split(u'\n', Qt::SkipEmptyParts);
    QVERIFY2(fonts.size() > 2, qPrintable(fonts.join(u'\n')));
    for (const QString &line : fonts.mid(2)) {
        const QStringList columns = line.split(u' ', Qt::SkipEmptyParts);
        // name type [encoding...] emb sub uni object ID: emb is the fifth from the end.
        QVERIFY2(columns.size() >= 7 && columns.at(columns.size() - 5) == QStringLiteral("yes"), qPrintable(line));
    }

    // On the limit: no marker on the sheet.
    form().EditKaze->setText(QStringLiteral("+2.0"));
    m_dialogs->printFiles = {pdf};
    form().PrintHeatSheet->trigger();
    const QString calmer = pdfText(pdf);
    QVERIFY2(calmer.contains(QStringLiteral("風 +2.0 m/s")), qPrintable(calmer));
    QVERIFY2(!calmer.contains(WindMarkerText), qPrintable(calmer));
}

// Read on the board from a metre away: digits some 5 mm tall in rows of 1 cm, and a
// table across the width of the page.
void TestUiHeatSheet::readableFromAMetre()
{
    fillHeat();
    const QString pdf = work(QStringLiteral("board.pdf"));
    printTo(pdf);
    QCOMPARE(m_dialogs->shown, QStringList());
    const QRectF first = wordBox(pdf, QStringLiteral("10.52"));
    const QRectF second = wordBox(pdf, QStringLiteral("10.61"));
    QVERIFY(!first.isEmpty() && !second.isEmpty());
    QVERIFY2(first.height() >= 5 * PointsPerMm, qPrintable(QString::number(first.height() / PointsPerMm)));
    QVERIFY2(second.top() - first.top() >= 9.5 * PointsPerMm,
             qPrintable(QString::number((second.top() - first.top()) / PointsPerMm)));

    // The ruled table, followed along the first row's middle, reaches the right margin.
    const QImage page = firstPage(pdf, m_work->path());
    QVERIFY(!page.isNull());
    const int y = qRound(first.center().y());
    int rightmost = -1;
    for (int x = 0; x < page.width(); ++x) {
        if (qGray(page.pixel(x, y)) < 128)
            rightmost = x;
    }
    const qreal pageWidthMm = page.width() / PointsPerMm;
    QVERIFY2(rightmost / PointsPerMm >= pageWidthMm - 16, qPrintable(QString::number(rightmost / PointsPerMm)));
    // The time still sits in the middle part of its column, not against the margin.
    QVERIFY(first.right() < page.width() - 30 * PointsPerMm);
}

void TestUiHeatSheet::raceAsTheTimetableShowsIt_data()
{
    QTest::addColumn<QString>("after");
    QTest::addColumn<QString>("title");
    const QString listed = QStringLiteral("001\\)\\s*男子\\s+100m\\s+予選\\s+1組\\s+10:30");
    QTest::newRow("chosen in the list") << QString() << listed;
    QTest::newRow("its file opened again") << QStringLiteral("open") << listed;
    QTest::newRow("saved under another name") << QStringLiteral("save as") << QStringLiteral("100m決勝");
    QTest::newRow("another timetable loaded") << QStringLiteral("reload")
                                              << QStringLiteral("001\\)男子100m予選1組10_30");
}

void TestUiHeatSheet::raceAsTheTimetableShowsIt()
{
    QFETCH(QString, after);
    QFETCH(QString, title);
    const QString timetable = work(QStringLiteral("timetable.txt"));
    {
        QFile file(timetable);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(Cp932::encode(u"<男子100m>\r\n男子 100m 予選 1組 10:30\r\n男子 100m 予選 2組 10:35\r\n"));
    }
    m_dialogs->files = {timetable};
    form().AC_OpenTTBL->trigger();
    form().ListDirBox->setCurrentRow(1);
    QCOMPARE(form().targetPath(), work(QStringLiteral("001)男子100m予選1組10_30")));

    fillHeat();
    form().autoClear->setChecked(false);
    form().EditKaze->setText(QStringLiteral("+1.2"));
    const QString saved = work(QStringLiteral("001)男子100m予選1組10_30w_112.csv"));
    if (after == QLatin1String("open")) {
        m_dialogs->files = {saved};
        form().FileSaveAS->trigger();
        QCOMPARE(m_dialogs->saveRequests.constLast().fileName, saved);
        QCOMPARE(form().targetPath(), saved);
    }
    if (after == QLatin1String("open")) {
        form().ClearEntries();
        form().setTargetPath(work(QStringLiteral("Untitled.csv")));
        m_dialogs->files = {saved};
        form().AC_OpenFile->trigger();
        QCOMPARE(grid().cell(2, 1), QStringLiteral("1052"));
    } else if (after == QLatin1String("save as")) {
        m_dialogs->files = {work(QStringLiteral("100m決勝w_112.csv"))};
        form().FileSaveAS->trigger();
    } else if (after == QLatin1String("reload")) {
        QFile file(timetable);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(Cp932::encode(u"女子 走幅跳 決勝\r\n"));
        file.close();
        m_dialogs->files = {timetable};
        form().AC_OpenTTBL->trigger();
    }
    QCOMPARE(m_dialogs->shown, QStringList());

    const QString pdf = work(QStringLiteral("race.pdf"));
    printTo(pdf);
    QCOMPARE(m_dialogs->shown, QStringList());
    const QString text = pdfText(pdf);
    // The title is the first line of the sheet.
    const QString firstLine = text.section(u'\n', 0, 0).trimmed();
    QVERIFY2(QRegularExpression(QStringLiteral("^") + title + QStringLiteral("$")).match(firstLine).hasMatch(),
             qPrintable(firstLine));
    QVERIFY2(text.contains(QStringLiteral("風 +1.2 m/s")), qPrintable(text));
}

void TestUiHeatSheet::numberHeadingAndRoad()
{
    fillHeat();
    form().RadioButton6->setChecked(true);     // ﾅﾝﾊﾞｰ
    form().RadioButton2->setChecked(true);     // 道路
    form().sixtyFix->setChecked(false);
    grid().setCell(2, 1, QStringLiteral("75"));
    // A typed wind that was never normalised is shown as it would be: 12 is +1.2.
    form().EditKaze->setText(QStringLiteral("12"));
    const QString pdf = work(QStringLiteral("road.pdf"));
    m_dialogs->printFiles = {pdf};
    form().PrintHeatSheet->trigger();
    QCOMPARE(m_dialogs->shown, QStringList());
    QCOMPARE(form().EditKaze->text(), QStringLiteral("12"));

    const QString text = pdfText(pdf);
    QVERIFY2(text.contains(QStringLiteral("ﾅﾝﾊﾞｰ")), qPrintable(text));
    QVERIFY2(!text.contains(QStringLiteral("ﾚｰﾝ")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("Untitled")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("風 +1.2 m/s")), qPrintable(text));
    QVERIFY2(!text.contains(WindMarkerText), qPrintable(text));
    // Road: no hundredths; 75 s without the correction stays 75.
    QVERIFY(QRegularExpression(QStringLiteral("1\\s+4\\s+75\\s")).match(text).hasMatch());
    QVERIFY2(text.contains(QStringLiteral("11:01")), qPrintable(text));   // 1061 is 10:61, 661 s
}

void TestUiHeatSheet::fiveHundredRowsFillTwentyFivePages()
{
    form().SankaSpinNum->setValue(ResultGrid::MaxDataRows);
    QCOMPARE(grid().dataRowCount(), 500);
    for (int row = 1; row <= 500; ++row) {
        grid().setCell(1, row, QString::number(row));
        grid().setCell(2, row, QString::number(100000 + row * 7));
    }
    const QString pdf = work(QStringLiteral("long.pdf"));
    m_dialogs->printFiles = {pdf};
    form().PrintHeatSheet->trigger();
    QCOMPARE(m_dialogs->shown, QStringList());
    QCOMPARE(pdfPages(pdf), 25);
    const QString text = pdfText(pdf);
    QVERIFY2(QRegularExpression(QStringLiteral("25\\s*/\\s*25")).match(text).hasMatch(), qPrintable(text.left(2000)));
    // Every page signed; the last row on the last page (103500 is 10:35.00).
    QCOMPARE(text.count(SheetSignatureLabel), 25);
    QVERIFY(QRegularExpression(QStringLiteral("500\\s+500\\s+10:35\\.00")).match(text).hasMatch());
    QCOMPARE(text.count(u'\f'), 25);
}

void TestUiHeatSheet::emptyGridPrintsNothing()
{
    form().EditKaze->setText(QStringLiteral("+1.0"));
    m_dialogs->printFiles = {work(QStringLiteral("empty.pdf"))};
    form().PrintHeatSheet->trigger();
    QCOMPARE(m_dialogs->shown, QStringList({MsgSheetEmpty}));
    QCOMPARE(m_dialogs->printDialogs, 0);
    QVERIFY(!QFile::exists(work(QStringLiteral("empty.pdf"))));
}

void TestUiHeatSheet::cancelPrintsNothing()
{
    fillHeat();
    const QStringList before = heatTexts();
    form().PrintHeatSheet->trigger();
    QCOMPARE(m_dialogs->printDialogs, 1);
    QCOMPARE(m_dialogs->shown, QStringList());
    QCOMPARE(heatTexts(), before);
    QCOMPARE(QDir(m_work->path()).entryList(QDir::Files), QStringList());
}

void TestUiHeatSheet::failingPrinterSaysSo_data()
{
    QTest::addColumn<QString>("where");
    QTest::addColumn<bool>("goodPdfThere");
    QTest::newRow("no such folder") << QStringLiteral("missing") << false;
    QTest::newRow("a folder of that name") << QStringLiteral("folder") << false;
    QTest::newRow("the device /dev/full") << QStringLiteral("device") << false;
    QTest::newRow("full disk") << QStringLiteral("small disk") << false;
    QTest::newRow("full disk, a good PDF there") << QStringLiteral("small disk") << true;
    QTest::newRow("file size limit, a good PDF there") << QStringLiteral("size limit") << true;
}

// A PDF file that cannot be written whole is reported, and the folder stays as it was:
// no cut-off file, no temporary file, an earlier sheet of that name untouched.
void TestUiHeatSheet::failingPrinterSaysSo()
{
    QFETCH(QString, where);
    QFETCH(bool, goodPdfThere);
    fillHeat();
    form().EditKaze->setText(QStringLiteral("-0.5"));
    const QStringList before = heatTexts();

    QByteArray good;
    if (goodPdfThere) {
        printTo(work(QStringLiteral("good.pdf")));
        good = fileBytes(work(QStringLiteral("good.pdf")));
        QVERIFY(IsWholePdf(good));
        QVERIFY(QFile::remove(work(QStringLiteral("good.pdf"))));
        QCOMPARE(m_dialogs->shown, QStringList());
    }

    QString folder = m_work->path();
    QString target = work(QStringLiteral("sheet.pdf"));
#ifdef Q_OS_LINUX
    QByteArray mountPoint;
    const auto unmount = qScopeGuard([&] {
        if (!mountPoint.isEmpty())
            umount(mountPoint.constData());
    });
#endif
    std::unique_ptr<FileSizeLimit> limit;
    if (where == QLatin1String("missing")) {
        target = work(QStringLiteral("no such folder/sheet.pdf"));
    } else if (where == QLatin1String("folder")) {
        QVERIFY(QDir().mkdir(target));
    } else if (where == QLatin1String("device")) {
#ifdef Q_OS_LINUX
        if (!QFileInfo(QStringLiteral("/dev/full")).exists())
            QSKIP("no /dev/full here");
        target = QStringLiteral("/dev/full");
#else
        QSKIP("needs /dev/full");
#endif
    } else if (where == QLatin1String("small disk")) {
#ifdef Q_OS_LINUX
        if (geteuid() != 0)
            QSKIP("mounting a small file system needs root");
        folder = work(QStringLiteral("small"));
        target = Paths::join(folder, QStringLiteral("sheet.pdf"));
        QVERIFY(QDir().mkdir(folder));
        // Room for the earlier sheet and one page more: never for a second sheet.
        const qsizetype room = (good.size() + 4095) / 4096 * 4096 + 4096;
        const QByteArray options = "size=" + QByteArray::number(room);
        if (mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, options.constData()) != 0)
            QSKIP("a tmpfs cannot be mounted here");
        mountPoint = QFile::encodeName(folder);
#else
        QSKIP("needs Linux mounts");
#endif
    }
    if (goodPdfThere) {
        QFile file(target);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(good), good.size());
        QVERIFY(file.flush());
    }
    const QStringList folderBefore = entries(folder);
    if (where == QLatin1String("size limit")) {
#ifdef Q_OS_UNIX
        // Smaller than any sheet: the write stops part-way, as on a full disk.
        limit = std::make_unique<FileSizeLimit>(4096);
        QVERIFY(limit->isSet());
#else
        QSKIP("needs a file-size limit");
#endif
    }

    printTo(target);
    limit.reset();
    QCOMPARE(m_dialogs->shown, QStringList({MsgSheetNotPrinted}));
    QCOMPARE(heatTexts(), before);
    QCOMPARE(entries(folder), folderBefore);
    if (goodPdfThere)
        QCOMPARE(fileBytes(target), good);
#ifdef Q_OS_LINUX
    if (where == QLatin1String("device")) {
        struct stat status;
        QVERIFY(stat("/dev/full", &status) == 0 && S_ISCHR(status.st_mode));
    }
#endif
}

void TestUiHeatSheet::windThatIsNoNumberStopsIt()
{
    fillHeat();
    form().EditKaze->setText(QStringLiteral("-"));
    m_dialogs->printFiles = {work(QStringLiteral("wind.pdf"))};
    form().PrintHeatSheet->trigger();
    QCOMPARE(m_dialogs->errors, QStringList({QStringLiteral("'-' は浮動小数点数ではありません")}));
    QCOMPARE(m_dialogs->printDialogs, 0);
    QCOMPARE(form().EditKaze->text(), QStringLiteral("-"));
}

void TestUiHeatSheet::markerFollowsTheWind()
{
    QCOMPARE(form().WindMarker->text(), QStringLiteral("追風参考"));
    QCOMPARE(form().WindMarker->palette().color(QPalette::WindowText), QColor(Qt::red));
    QVERIFY(!markerShown());
    form().show();
    QVERIFY(QTest::qWaitForWindowActive(m_form));

    // Typing: "2" is +2.0, "21" +2.1; Enter normalises without changing the answer.
    form().EditKaze->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(form().EditKaze));
    typeText(QStringLiteral("2"));
    QVERIFY(!markerShown());
    typeText(QStringLiteral("1"));
    QVERIFY(markerShown());
    QVERIFY(form().WindMarker->isVisible());
    typeText(QStringLiteral("\n"));
    QCOMPARE(form().EditKaze->text(), QStringLiteral("+2.1"));
    QVERIFY(markerShown());

    // Backspace to a lone "-" while typing a new wind: no marker, no error.
    form().EditKaze->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(form().EditKaze));
    form().EditKaze->selectAll();
    typeText(QStringLiteral("-"));
    QVERIFY(!markerShown());
    QCOMPARE(m_dialogs->errors, QStringList());

    // The program's own changes: import, clearing, opening a file.
    form().setWindText(QStringLiteral("+3.4"));
    QVERIFY(markerShown());
    form().setWindText(QStringLiteral("+2.0"));
    QVERIFY(!markerShown());
    form().setWindText(QStringLiteral("+10.5"));
    QVERIFY(markerShown());
    fillHeat();
    form().ClearEntries();
    QVERIFY(!markerShown());

    const QString path = work(QStringLiteral("R1w_125.csv"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("\"\x8f\x87\x88\xca\",\"\xda\xb0\xdd\",\"\xc0\xb2\xd1\"\r\n\"1\",\"4\",\"10.52\"\r\n");
    }
    m_dialogs->files = {path};
    form().AC_OpenFile->trigger();
    QCOMPARE(form().EditKaze->text(), QStringLiteral("+2.5"));
    QVERIFY(markerShown());

    // A display only: the save proposes the wind code of the text as it stands.
    m_dialogs->clear();
    form().FileSaveAS->trigger();
    QCOMPARE(m_dialogs->saveRequests.size(), 1);
    QCOMPARE(m_dialogs->saveRequests.constFirst().fileName, work(QStringLiteral("R1w_125.csv")));
}

// With a start list, each row carries the name and team of its lane between the lane and
// the time; a lane not in the list has none.
void TestUiHeatSheet::namesOfTheStartList()
{
    fillHeat();
    QVERIFY(QDir(m_work->path()).mkpath(QStringLiteral("startlists")));
    QFile list(work(QStringLiteral("startlists/001)男子100m予選1組.csv")));
    QVERIFY(list.open(QIODevice::WriteOnly));
    list.write(Cp932::encode(QStringLiteral("ﾚｰﾝ,ﾅﾝﾊﾞｰ,氏名,所属\r\n3,1003,佐藤 花子,大阪陸協\r\n"
                                            "4,1004,山田 太郎,東京陸協\r\n")));
    list.close();
    form().setTargetPath(work(QStringLiteral("001)男子100m予選1組w_112.csv")));
    const QString pdf = work(QStringLiteral("names.pdf"));
    printTo(pdf);
    QCOMPARE(m_dialogs->shown, QStringList());
    const QString text = pdfText(pdf);
    QVERIFY2(text.contains(QStringLiteral("氏名 (所属)")), qPrintable(text));
    QVERIFY2(QRegularExpression(QStringLiteral("1\\s+4\\s+山田 太郎 \\(東京陸協\\)\\s+10\\.52")).match(text).hasMatch(),
             qPrintable(text));
    QVERIFY2(QRegularExpression(QStringLiteral("3\\s+3\\s+佐藤 花子 \\(大阪陸協\\)\\s+1:02\\.75")).match(text).hasMatch(),
             qPrintable(text));
    QVERIFY2(QRegularExpression(QStringLiteral("2\\s+5\\s+10\\.61")).match(text).hasMatch(), qPrintable(text));
}

QTEST_MAIN(TestUiHeatSheet)

#include "tst_ui_heatsheet.moc"
