#pragma once

// A file system mounted on a folder that never answers, as a network share whose
// server has gone: every access to the folder waits until release(), and then fails.
// It is a FUSE mount that answers the kernel's greeting and holds every request after
// it. Mounting needs root and /dev/fuse; where they are missing isMounted() is false
// and the test skips.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <atomic>
#include <thread>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#include <linux/fuse.h>
#include <poll.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cstring>
#include <vector>
#endif

namespace Ordavex::Testing {

class HangingFileSystem final
{
public:
    explicit HangingFileSystem(const QString &folder)
        : m_folder(folder)
    {
#ifdef Q_OS_LINUX
        if (!QDir().mkpath(folder))
            return;
        m_fd = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
        if (m_fd < 0)
            return;
        const QByteArray options = "fd=" + QByteArray::number(m_fd) + ",rootmode=40000,user_id=0,group_id=0";
        if (::mount("ordavex-hang", QFile::encodeName(folder).constData(), "fuse", MS_NOSUID | MS_NODEV,
                    options.constData()) != 0) {
            ::close(m_fd);
            m_fd = -1;
            return;
        }
        m_mounted = true;
        m_reader = std::thread([this] { serve(); });
#endif
    }
    ~HangingFileSystem() { release(); }
    HangingFileSystem(const HangingFileSystem &) = delete;
    HangingFileSystem &operator=(const HangingFileSystem &) = delete;

    bool isMounted() const { return m_mounted; }
    // Requests the file system holds: each one a caller waiting.
    int requestsHeld() const { return m_held; }

    // Every waiting access fails, and the folder is unmounted. Safe from any thread, once.
    void release()
    {
#ifdef Q_OS_LINUX
        if (m_released.exchange(true) || !m_mounted)
            return;
        m_stop = true;
        m_reader.join();
        // The device closed, the connection is gone: what waited fails.
        ::close(m_fd);
        ::umount2(QFile::encodeName(m_folder).constData(), MNT_DETACH);
#endif
    }

private:
#ifdef Q_OS_LINUX
    void serve()
    {
        std::vector<char> buffer(1 << 20);
        while (!m_stop) {
            pollfd ready{m_fd, POLLIN, 0};
            if (::poll(&ready, 1, 20) <= 0)
                continue;
            const ssize_t got = ::read(m_fd, buffer.data(), buffer.size());
            if (got < ssize_t(sizeof(fuse_in_header)))
                continue;
            fuse_in_header in;
            std::memcpy(&in, buffer.data(), sizeof in);
            if (in.opcode != FUSE_INIT) {
                ++m_held;
                continue;
            }
            fuse_init_in init{};
            std::memcpy(&init, buffer.data() + sizeof in, std::min(sizeof init, size_t(got) - sizeof in));
            struct
            {
                fuse_out_header header;
                fuse_init_out init;
            } reply{};
            reply.header.len = sizeof reply;
            reply.header.unique = in.unique;
            reply.init.major = FUSE_KERNEL_VERSION;
            reply.init.minor = std::min<uint32_t>(init.minor, FUSE_KERNEL_MINOR_VERSION);
            reply.init.max_readahead = init.max_readahead;
            reply.init.max_background = 16;
            reply.init.congestion_threshold = 12;
            reply.init.max_write = 4096;
            if (::write(m_fd, &reply, sizeof reply) != ssize_t(sizeof reply))
                return;
        }
    }

    int m_fd = -1;
    std::thread m_reader;
    std::atomic<bool> m_stop = false;
    std::atomic<bool> m_released = false;
#endif
    QString m_folder;
    bool m_mounted = false;
    std::atomic<int> m_held = 0;
};

} // namespace Ordavex::Testing
