// The board's address as a QR code: in the board dialog while the board serves, as the
// code wrapper makes it for any text, and printed on a page of its own. Every code is
// read back by a real reader (zbarimg), as a phone would read it.

#include "core/boardservice.h"
#include "core/heatsheet.h"
#include "ui/boardform.h"
#include "ui/qrcode.h"
#include "uitest.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QSpinBox>
#include <QStandardPaths>

#ifdef Q_OS_LINUX
#include <sys/mount.h>
#include <unistd.h>
#endif

using namespace Ordavex;
using namespace Ordavex::Testing;
using namespace Qt::StringLiterals;

namespace {

// Serves at once on start; lose() and comeBack() are the board's program stopping by
// itself and being started again.
class FakeBoard final : public BoardService
{
public:
    QStringList addresses() const override { return {u"127.0.0.1"_s, u"192.168.1.20"_s, u"fe80::1"_s}; }
    bool start(const Options &options, QString *) override
    {
        const QString host = options.address.contains(u':') ? u'[' + options.address + u']' : options.address;
        m_url = u"http://%1:%2/"_s.arg(host).arg(options.port);
        m_running = true;
        emit stateChanged();
        return true;
    }
    void stop() override
    {
        m_running = false;
        emit stateChanged();
    }
    bool isRunning() const override { return m_running; }
    bool isStarting() const override { return m_restarting; }
    QString url() const override { return m_running ? m_url : QString(); }
    void setHeat(const BoardHeat &) override {}
    void setWorkFolder(const QString &) override {}
    void savedHeatsChanged() override {}
    int clientCount() const override { return 0; }
    void lose()
    {
        m_restarting = true;
        emit stateChanged();
    }
    void comeBack()
    {
        m_restarting = false;
        emit stateChanged();
    }

private:
    QString m_url;
    bool m_running = false;
    bool m_restarting = false;
};

// What a phone reads from the image: the reader's bytes as UTF-8, empty when it found
// no code.
QString readCode(const QImage &image, const QString &folder)
{
    const QString png = folder + u"/code.png"_s;
    if (!image.save(png))
        return {};
    QProcess reader;
    reader.start(u"zbarimg"_s, {u"--raw"_s, u"-q"_s, u"-Sbinary"_s, png});
    if (!reader.waitForFinished(60000) || reader.exitStatus() != QProcess::NormalExit || reader.exitCode() != 0)
        return {};
    QByteArray text = reader.readAllStandardOutput();
    // --raw ends the text with a line end of its own.
    if (text.endsWith('\n'))
        text.chop(1);
    return QString::fromUtf8(text);
}

// The page as a reader shows it, at a resolution a phone's camera would match.
QImage renderPage(const QString &pdf, const QString &folder)
{
    const QString stem = folder + u"/page"_s;
    QProcess process;
    process.start(u"pdftoppm"_s, {u"-r"_s, u"100"_s, u"-gray"_s, u"-singlefile"_s, pdf, stem});
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return {};
    return QImage(stem + u".pgm"_s);
}

QString pdfText(const QString &pdf)
{
    QProcess process;
    process.start(u"pdftotext"_s, {u"-enc"_s, u"UTF-8"_s, pdf, u"-"_s});
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void needTools(std::initializer_list<const char *> tools)
{
    for (const char *tool : tools) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            QSKIP(qPrintable(u"%1 is not installed (tools/install-deps)"_s.arg(QString::fromLatin1(tool))));
    }
}

// The dialog on a board started on address and port, as the official does it.
void turnOn(TBoardForm &dialog, const QString &address, int port)
{
    dialog.BoardAddress->setCurrentText(address);
    dialog.BoardPort->setValue(port);
    dialog.BoardOn->click();
}

} // namespace

class TestUiBoardQr final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void dialogShowsTheCodeWhileServing_data();
    void dialogShowsTheCodeWhileServing();
    void codeReadsBackAsItsText_data();
    void codeReadsBackAsItsText();
    void printedPageHasTheCode();
    void failedPrintSaysSo_data();
    void failedPrintSaysSo();

private:
    QTemporaryDir m_temp;
};

void TestUiBoardQr::initTestCase()
{
    QVERIFY(m_temp.isValid());
}

// The code in the dialog is of the address the board serves now, and only while it
// serves: not while off, not while its program is being started again.
void TestUiBoardQr::dialogShowsTheCodeWhileServing_data()
{
    QTest::addColumn<QString>("steps");     // "on ADDRESS PORT", "off", "lose", "back", one a line
    QTest::addColumn<QString>("shown");     // the URL the code reads as; empty: no code

    QTest::newRow("off") << QString() << QString();
    QTest::newRow("on") << u"on 192.168.1.20 8080"_s << u"http://192.168.1.20:8080/"_s;
    QTest::newRow("on, loopback, highest port") << u"on 127.0.0.1 65535"_s << u"http://127.0.0.1:65535/"_s;
    QTest::newRow("on, IPv6") << u"on fe80::1 8080"_s << u"http://[fe80::1]:8080/"_s;
    QTest::newRow("on, then off") << u"on 192.168.1.20 8080\noff"_s << QString();
    QTest::newRow("on elsewhere after off") << u"on 192.168.1.20 8080\noff\non 127.0.0.1 8081"_s
                                            << u"http://127.0.0.1:8081/"_s;
    QTest::newRow("being started again") << u"on 192.168.1.20 8080\nlose"_s << QString();
    QTest::newRow("started again") << u"on 192.168.1.20 8080\nlose\nback"_s << u"http://192.168.1.20:8080/"_s;
}

void TestUiBoardQr::dialogShowsTheCodeWhileServing()
{
    QFETCH(QString, steps);
    QFETCH(QString, shown);

    ScriptedDialogs dialogs;
    FakeBoard board;
    TBoardForm dialog(board, BoardChoice());
    dialog.show();
    for (const QString &step : steps.split(u'\n', Qt::SkipEmptyParts)) {
        const QStringList words = step.split(u' ');
        if (words[0] == u"on"_s)
            turnOn(dialog, words[1], words[2].toInt());
        else if (words[0] == u"off"_s)
            dialog.BoardOn->click();
        else if (words[0] == u"lose"_s)
            board.lose();
        else
            board.comeBack();
    }
    QCOMPARE(dialogs.shown, QStringList());
    QCOMPARE(dialog.BoardQr->isVisible(), !shown.isEmpty());
    QCOMPARE(dialog.PrintQr->isVisible(), !shown.isEmpty());
    if (shown.isEmpty())
        return;
    // The address stays in view as text beside the code.
    QCOMPARE(dialog.BoardUrl->text(), shown);
    const QPixmap code = dialog.BoardQr->pixmap();
    QVERIFY2(code.width() >= 150 && code.width() <= 200, qPrintable(QString::number(code.width())));
    QCOMPARE(dialog.BoardQr->size(), code.size());
    needTools({"zbarimg"});
    QCOMPARE(readCode(code.toImage(), m_temp.path()), shown);
}

// Any text comes back from a reader exactly, with the quiet zone readers need around
// it, modules of whole pixels, and as large as the side asked for allows; a text with
// no code gives no image.
void TestUiBoardQr::codeReadsBackAsItsText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("side");

    QTest::addColumn<bool>("hasCode");

    QTest::newRow("address") << u"http://192.168.1.20:8080/"_s << 200 << true;
    QTest::newRow("IPv6, long") << u"http://[fe80::1]:8080/heats/001)男子100m予選1組10_30+0.5.csv"_s << 400 << true;
    QTest::newRow("IPv6 literal") << u"http://[fe80::1]:8080/"_s << 180 << true;
    QTest::newRow("Japanese") << u"速報ﾎﾞｰﾄﾞ 男子100m 予選1組"_s << 300 << true;
    QTest::newRow("digits only") << u"0123456789012345"_s << 120 << true;
    QTest::newRow("side smaller than the code") << u"http://192.168.1.20:8080/"_s << 10 << true;
    QTest::newRow("empty") << QString() << 200 << false;
    QTest::newRow("too long for any code") << QString(3000, u'x') << 200 << false;
}

void TestUiBoardQr::codeReadsBackAsItsText()
{
    QFETCH(QString, text);
    QFETCH(int, side);
    QFETCH(bool, hasCode);

    const QImage image = QrCodeImage(text, side);
    QCOMPARE(image.isNull(), !hasCode);
    if (!hasCode)
        return;
    QCOMPARE(image.width(), image.height());

    // The top left finder pattern's corner is the first dark pixel of the diagonal, a
    // quiet zone in; its top edge is 7 modules long.
    int corner = 0;
    while (corner < image.width() && qGray(image.pixel(corner, corner)) > 127)
        ++corner;
    QCOMPARE(corner % QrQuietZone, 0);
    const int scale = corner / QrQuietZone;
    QVERIFY(scale >= 1);
    int edge = 0;
    while (corner + edge < image.width() && qGray(image.pixel(corner + edge, corner)) < 128)
        ++edge;
    QCOMPARE(edge, 7 * scale);
    QCOMPARE(image.width() % scale, 0);
    const int modules = image.width() / scale - 2 * QrQuietZone;
    QCOMPARE((modules - 21) % 4, 0);
    // As large as fits: one pixel more a module would not.
    if (scale > 1)
        QVERIFY(image.width() <= side);
    QVERIFY(image.width() + image.width() / scale > side);
    // Nothing dark in the quiet zone, on any side.
    const int inner = image.width() - corner;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (x < corner || y < corner || x >= inner || y >= inner)
                QVERIFY2(qGray(image.pixel(x, y)) > 127, qPrintable(u"(%1, %2)"_s.arg(x).arg(y)));
        }
    }

    needTools({"zbarimg"});
    // One pixel a module is below what the reader resolves: it reads it enlarged, pixel
    // for pixel.
    const QImage readable = scale > 1 ? image : image.scaled(image.size() * 4, Qt::IgnoreAspectRatio,
                                                             Qt::FastTransformation);
    QCOMPARE(readCode(readable, m_temp.path()), text);
}

// The page carries the caption, the address, and a code that a reader reads from the
// page as printed.
void TestUiBoardQr::printedPageHasTheCode()
{
    needTools({"zbarimg", "pdftoppm", "pdftotext"});
    ScriptedDialogs dialogs;
    FakeBoard board;
    TBoardForm dialog(board, BoardChoice());
    dialog.show();
    turnOn(dialog, u"fe80::1"_s, 8080);
    const QString pdf = m_temp.filePath(u"board.pdf"_s);
    dialogs.printFiles = {pdf};
    dialog.PrintQr->click();
    QCOMPARE(dialogs.printDialogs, 1);
    QCOMPARE(dialogs.shown, QStringList());
    QVERIFY(IsWholePdf(fileBytes(pdf)));

    const QString url = u"http://[fe80::1]:8080/"_s;
    const QStringList lines = pdfText(pdf).split(u'\n', Qt::SkipEmptyParts);
    QVERIFY2(lines.contains(CaptionBoard) && lines.contains(url), qPrintable(lines.join(u'|')));
    const QImage page = renderPage(pdf, m_temp.path()).convertToFormat(QImage::Format_Grayscale8);
    QVERIFY(!page.isNull());
    QCOMPARE(readCode(page, m_temp.path()), url);

    // The code is large, and the white around it is white: a code stored lossy leaves
    // smudges there that a phone may take for modules. The middle of the page holds the
    // code alone.
    const int top = page.height() * 3 / 10;
    const int bottom = page.height() * 7 / 10;
    int left = page.width();
    int right = -1;
    for (int y = top; y < bottom; ++y) {
        for (int x = 0; x < page.width(); ++x) {
            if (qGray(page.pixel(x, y)) < 128) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
    }
    const int codeWidth = right - left + 1;
    QVERIFY2(codeWidth > page.width() / 2, qPrintable(QString::number(codeWidth)));
    const int quiet = codeWidth * QrQuietZone / 25 - 2;    // 25 modules in that code
    for (int y = top; y < bottom; ++y) {
        for (int x : {left - quiet, left - quiet / 2, left - 2, right + 2, right + quiet / 2, right + quiet})
            QVERIFY2(qGray(page.pixel(x, y)) >= 252, qPrintable(u"(%1, %2)"_s.arg(x).arg(y)));
    }
}

void TestUiBoardQr::failedPrintSaysSo_data()
{
    QTest::addColumn<QString>("where");
    QTest::newRow("no such folder") << u"missing"_s;
    QTest::newRow("a folder of that name") << u"folder"_s;
    QTest::newRow("the device /dev/full") << u"device"_s;
    QTest::newRow("full disk") << u"small disk"_s;
    QTest::newRow("cancelled") << u"cancel"_s;
}

// A page that cannot be written whole is told in a box and leaves no file; a cancelled
// dialog prints nothing and says nothing.
void TestUiBoardQr::failedPrintSaysSo()
{
    QFETCH(QString, where);

    QTemporaryDir work;
    QString folder = work.path();
    QString target = work.filePath(u"board.pdf"_s);
#ifdef Q_OS_LINUX
    QByteArray mountPoint;
    const auto unmount = qScopeGuard([&] {
        if (!mountPoint.isEmpty())
            umount(mountPoint.constData());
    });
#endif
    if (where == u"missing"_s) {
        target = work.filePath(u"no such folder/board.pdf"_s);
    } else if (where == u"folder"_s) {
        QVERIFY(QDir().mkdir(target));
    } else if (where == u"device"_s) {
        if (!QFileInfo::exists(u"/dev/full"_s))
            QSKIP("no /dev/full here");
        target = u"/dev/full"_s;
    } else if (where == u"small disk"_s) {
#ifdef Q_OS_LINUX
        if (geteuid() != 0)
            QSKIP("mounting a small file system needs root");
        folder = work.filePath(u"small"_s);
        target = folder + u"/board.pdf"_s;
        QVERIFY(QDir().mkdir(folder));
        // One block: smaller than any page with its font.
        if (mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, "size=4096") != 0)
            QSKIP("a tmpfs cannot be mounted here");
        mountPoint = QFile::encodeName(folder);
#else
        QSKIP("needs Linux mounts");
#endif
    }
    const QStringList before = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);

    ScriptedDialogs dialogs;
    FakeBoard board;
    TBoardForm dialog(board, BoardChoice());
    dialog.show();
    turnOn(dialog, u"192.168.1.20"_s, 8080);
    if (where != u"cancel"_s)
        dialogs.printFiles = {target};
    dialog.PrintQr->click();
    QCOMPARE(dialogs.printDialogs, 1);
    QCOMPARE(dialogs.shown, where == u"cancel"_s ? QStringList() : QStringList{MsgQrNotPrinted});
    QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);
}

QTEST_MAIN(TestUiBoardQr)
#include "tst_ui_boardqr.moc"
