#include "recovery.h"

#include "gridmodel.h"
#include "paths.h"
#include "textcodec.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <utility>

namespace Ordavex {

namespace {

const QByteArray Magic = QByteArrayLiteral("ORDAVEX-RECOVERY");
const QByteArray LineEnd = QByteArrayLiteral("\r\n");

bool isPlainAscii(char32_t c)
{
    return c >= 0x20 && c < 0x7f && c != u'%';
}

// A character as code page 932 bytes, when it comes back as the same character.
bool encodeExactly(QStringView character, QByteArray *out)
{
    bool lossless = false;
    const QByteArray bytes = Cp932::encode(character, &lossless);
    if (!lossless || Cp932::decode(bytes) != character)
        return false;
    *out += bytes;
    return true;
}

QByteArray escapeField(const QString &text)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        const char32_t c = text.at(i).unicode();
        if (isPlainAscii(c)) {
            out += char(c);
            ++i;
            continue;
        }
        const qsizetype length = text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()
            ? 2 : 1;
        const QStringView character = QStringView(text).mid(i, length);
        i += length;
        if (c == u'%' || c == u'\t' || c == u'\r' || c == u'\n') {
            out += '%' + QByteArray::number(uint(c), 16).rightJustified(2, '0').toUpper();
            continue;
        }
        if (c >= 0x20 && encodeExactly(character, &out))
            continue;
        const char32_t codePoint = length == 2 ? QChar::surrogateToUcs4(character[0], character[1]) : c;
        out += "%U+" + QByteArray::number(uint(codePoint), 16).toUpper() + ';';
    }
    return out;
}

std::optional<QString> unescapeField(QStringView field)
{
    QString out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] != u'%') {
            out += field[i];
            continue;
        }
        if (field.mid(i + 1, 2) == u"U+") {
            const qsizetype end = field.indexOf(u';', i + 3);
            if (end < 0 || end - (i + 3) < 1 || end - (i + 3) > 6)
                return std::nullopt;
            bool ok = false;
            const uint codePoint = field.mid(i + 3, end - (i + 3)).toUInt(&ok, 16);
            if (!ok || codePoint > 0x10FFFF)
                return std::nullopt;
            out += QString::fromUcs4(reinterpret_cast<const char32_t *>(&codePoint), 1);
            i = end;
            continue;
        }
        const QStringView hex = field.mid(i + 1, 2);
        if (hex == u"25")
            out += u'%';
        else if (hex == u"09")
            out += u'\t';
        else if (hex == u"0D")
            out += u'\r';
        else if (hex == u"0A")
            out += u'\n';
        else
            return std::nullopt;
        i += 2;
    }
    return out;
}

QByteArray line(std::initializer_list<QByteArray> fields)
{
    QByteArray out;
    bool first = true;
    for (const QByteArray &field : fields) {
        if (!std::exchange(first, false))
            out += '\t';
        out += field;
    }
    return out + LineEnd;
}

// A whole decimal number in the range, written as the program writes it.
std::optional<int> readNumber(const QString &text, int min, int max)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < min || value > max || QString::number(value) != text)
        return std::nullopt;
    return value;
}

} // namespace

QString RecoveryFilePath(const QString &settingsFile)
{
    const QString name = Paths::fileNameOf(settingsFile);
    const qsizetype dot = name.lastIndexOf(u'.');
    return Paths::folderOf(settingsFile) + (dot > 0 ? name.left(dot) : name) + QStringLiteral(".recovery");
}

QString UnreadableRecoveryFilePath(const QString &recoveryFile)
{
    return recoveryFile + QStringLiteral(".unreadable");
}

quint32 Crc32(QByteArrayView bytes)
{
    static const auto table = [] {
        std::array<quint32, 256> t{};
        for (quint32 n = 0; n < 256; ++n) {
            quint32 c = n;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    quint32 crc = 0xFFFFFFFFu;
    for (const char byte : bytes)
        crc = table[(crc ^ quint8(byte)) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

QByteArray RecoveryBytes(const RecoveredHeat &heat)
{
    QByteArray body;
    body.reserve(64 + heat.rows.size() * 24);
    body += line({"target", escapeField(heat.targetPath)});
    body += line({"wind", escapeField(heat.wind)});
    body += line({"options", QByteArray::number(heat.raceKind), QByteArray::number(heat.assigKind),
                  QByteArray::number(heat.numColID), heat.sixtyFix ? "1" : "0"});
    body += line({"rows", QByteArray::number(heat.rows.size())});
    for (const auto &row : heat.rows)
        body += line({"row", escapeField(row[0]), escapeField(row[1]), escapeField(row[2])});
    const QByteArray head = line({Magic, QByteArray::number(RecoveryVersion), QByteArray::number(body.size()),
                                  QByteArray::number(Crc32(body), 16).rightJustified(8, '0').toUpper()});
    return head + body;
}

std::optional<RecoveredHeat> ReadRecovery(QByteArrayView bytes)
{
    const qsizetype headEnd = bytes.indexOf(LineEnd);
    if (headEnd < 0)
        return std::nullopt;
    const QList<QByteArray> head = bytes.first(headEnd).toByteArray().split('\t');
    const QByteArrayView body = bytes.sliced(headEnd + LineEnd.size());
    bool lengthOk = false;
    bool crcOk = false;
    if (head.size() != 4 || head[0] != Magic || head[1] != QByteArray::number(RecoveryVersion)
        || head[2].toLongLong(&lengthOk) != body.size() || !lengthOk || head[3].size() != 8
        || head[3].toUInt(&crcOk, 16) != Crc32(body) || !crcOk)
        return std::nullopt;

    // Split on CR LF: a lone CR or LF is never written outside an escape.
    const QString text = Cp932::decode(body);
    if (!text.endsWith(QStringLiteral("\r\n")))
        return std::nullopt;
    QStringList lines = text.split(QStringLiteral("\r\n"));
    lines.removeLast();

    qsizetype next = 0;
    // The fields of the next line, when it starts with the key and has that many fields.
    auto take = [&](const QString &key, qsizetype fields) -> std::optional<QList<QString>> {
        if (next >= lines.size())
            return std::nullopt;
        const QStringList parts = lines[next++].split(u'\t');
        if (parts.size() != fields + 1 || parts[0] != key)
            return std::nullopt;
        QList<QString> values;
        for (qsizetype i = 1; i < parts.size(); ++i) {
            std::optional<QString> value = unescapeField(parts[i]);
            if (!value)
                return std::nullopt;
            values << *value;
        }
        return values;
    };

    RecoveredHeat heat;
    const auto target = take(QStringLiteral("target"), 1);
    const auto wind = target ? take(QStringLiteral("wind"), 1) : std::nullopt;
    const auto options = wind ? take(QStringLiteral("options"), 4) : std::nullopt;
    const auto rows = options ? take(QStringLiteral("rows"), 1) : std::nullopt;
    if (!rows)
        return std::nullopt;
    heat.targetPath = (*target)[0];
    heat.wind = (*wind)[0];
    const auto raceKind = readNumber((*options)[0], 1, 2);
    const auto assigKind = readNumber((*options)[1], 5, 6);
    const auto numColID = readNumber((*options)[2], 0, 1);
    const auto sixtyFix = readNumber((*options)[3], 0, 1);
    const auto rowCount = readNumber((*rows)[0], 1, ResultGrid::MaxDataRows);
    if (!raceKind || !assigKind || !numColID || !sixtyFix || !rowCount)
        return std::nullopt;
    heat.raceKind = *raceKind;
    heat.assigKind = *assigKind;
    heat.numColID = *numColID;
    heat.sixtyFix = *sixtyFix == 1;
    if (lines.size() - next != *rowCount)
        return std::nullopt;
    heat.rows.reserve(*rowCount);
    for (int r = 0; r < *rowCount; ++r) {
        const auto cells = take(QStringLiteral("row"), 3);
        if (!cells)
            return std::nullopt;
        heat.rows.push_back({(*cells)[0], (*cells)[1], (*cells)[2]});
    }
    return heat;
}

bool DiscardRecoveryFile(const QString &path)
{
    if (QFile::remove(path) || !QFileInfo::exists(path))
        return true;
    // A folder that no longer lets the file go may still let it be changed: an empty
    // file offers nothing at the next start.
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered) && file.size() == 0;
}

// ---- the writer ----

struct RecoveryWriter::Shared
{
    struct Job
    {
        quint64 number = 0;
        std::optional<RecoveredHeat> heat;   // nothing: remove the file
    };

    std::mutex mutex;
    std::condition_variable wake;       // a job waits, or the writer goes
    std::condition_variable finished;   // a job is done
    std::optional<Job> waiting;
    quint64 lastGiven = 0;
    quint64 lastDone = 0;
    bool leaving = false;
    // Cleared under the mutex before the writer object goes, so that no outcome is
    // posted to an object that is being destroyed.
    RecoveryWriter *owner = nullptr;
    SaveFunction save = SaveFileAtomically;
};

namespace {

RecoveryOutcome runJob(const QString &path, quint64 number, const std::optional<RecoveredHeat> &heat,
                       const RecoveryWriter::SaveFunction &save)
{
    RecoveryOutcome outcome;
    outcome.job = number;
    outcome.discard = !heat;
    if (heat) {
        outcome.ok = save(path, RecoveryBytes(*heat)) == SaveError::None;
    } else {
        outcome.ok = DiscardRecoveryFile(path);
    }
    return outcome;
}

} // namespace

void RecoveryWriter::run(const std::shared_ptr<Shared> &shared, const QString &path)
{
    std::unique_lock lock(shared->mutex);
    for (;;) {
        shared->wake.wait(lock, [&] { return shared->waiting || shared->leaving; });
        if (!shared->waiting)
            return;
        Shared::Job job = std::move(*shared->waiting);
        shared->waiting.reset();
        const SaveFunction save = shared->save;
        lock.unlock();
        const RecoveryOutcome outcome = runJob(path, job.number, job.heat, save);
        lock.lock();
        shared->lastDone = job.number;
        if (RecoveryWriter *owner = shared->owner) {
            // Queued: the outcome is handled on the owner's thread, never on this one.
            QMetaObject::invokeMethod(
                owner, [owner, outcome] { Q_EMIT owner->done(outcome); }, Qt::QueuedConnection);
        }
        shared->finished.notify_all();
    }
}

RecoveryWriter::RecoveryWriter(const QString &path, QObject *parent)
    : QObject(parent)
    , m_path(path)
    , m_shared(std::make_shared<Shared>())
{
    m_shared->owner = this;
    m_thread = std::thread(run, m_shared, m_path);
}

RecoveryWriter::~RecoveryWriter()
{
    bool done = false;
    {
        std::unique_lock lock(m_shared->mutex);
        m_shared->owner = nullptr;
        m_shared->leaving = true;
        m_shared->wake.notify_all();
        done = m_shared->finished.wait_for(lock, std::chrono::milliseconds(m_abandoned ? 0 : FinishWaitMs), [this] {
            return m_shared->lastDone == m_shared->lastGiven;
        });
    }
    // The thread keeps what it shares with this object alive by itself.
    if (done)
        m_thread.join();
    else
        m_thread.detach();
}

quint64 RecoveryWriter::write(const RecoveredHeat &heat)
{
    const std::lock_guard lock(m_shared->mutex);
    m_shared->waiting = Shared::Job{++m_shared->lastGiven, heat};
    m_shared->wake.notify_all();
    return m_shared->lastGiven;
}

quint64 RecoveryWriter::discard()
{
    const std::lock_guard lock(m_shared->mutex);
    m_shared->waiting = Shared::Job{++m_shared->lastGiven, std::nullopt};
    m_shared->wake.notify_all();
    return m_shared->lastGiven;
}

bool RecoveryWriter::waitUntilDone(int ms)
{
    std::unique_lock lock(m_shared->mutex);
    return m_shared->finished.wait_for(lock, std::chrono::milliseconds(ms), [this] {
        return m_shared->lastDone == m_shared->lastGiven;
    });
}

void RecoveryWriter::setSaveFunction(SaveFunction save)
{
    const std::lock_guard lock(m_shared->mutex);
    m_shared->save = std::move(save);
}

} // namespace Ordavex
