#pragma once

// A small file system of its own (64 KiB in memory) mounted on a folder, that a test
// fills to the last byte and frees again: a full disk that creating a file does not
// notice, only writing to it. Mounting needs root; where it is not allowed isMounted()
// is false and the test skips.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#ifdef Q_OS_LINUX
#include <sys/mount.h>
#endif

namespace Ordavex::Testing {

class SmallFileSystem final
{
public:
    explicit SmallFileSystem(const QString &folder)
        : m_folder(folder)
    {
#ifdef Q_OS_LINUX
        m_mounted = QDir().mkpath(folder)
                    && ::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, "size=64k") == 0;
#endif
    }
    ~SmallFileSystem()
    {
#ifdef Q_OS_LINUX
        if (m_mounted)
            ::umount2(QFile::encodeName(m_folder).constData(), MNT_DETACH);
#endif
    }
    SmallFileSystem(const SmallFileSystem &) = delete;
    SmallFileSystem &operator=(const SmallFileSystem &) = delete;

    bool isMounted() const { return m_mounted; }

    // Takes every free byte; true when the file system is full afterwards.
    bool fill()
    {
        QFile filler(fillerPath());
        if (!filler.open(QIODevice::Append | QIODevice::Unbuffered))
            return false;
        const QByteArray block(512, 'F');
        while (filler.write(block) == block.size()) {
        }
        for (qint64 one = 1; one > 0;)
            one = filler.write("F", 1);
        filler.close();
        QFile probe(QDir(m_folder).filePath(QStringLiteral(".probe")));
        const bool full = probe.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && probe.write("x", 1) != 1;
        probe.remove();
        return full;
    }
    bool free() { return QFile::remove(fillerPath()); }

private:
    QString fillerPath() const { return QDir(m_folder).filePath(QStringLiteral(".filler")); }

    QString m_folder;
    bool m_mounted = false;
};

} // namespace Ordavex::Testing
