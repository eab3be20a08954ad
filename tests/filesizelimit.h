#pragma once

// Makes writes fail part-way, as on a full disk, even for root: while one lives, no file
// of this process may grow past the given size, and the write that would gets an error
// instead of the signal that would end the process.

#include <QtGlobal>

#ifdef Q_OS_UNIX
#include <csignal>

#include <sys/resource.h>

namespace Ordavex::Testing {

class FileSizeLimit final
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        m_set = getrlimit(RLIMIT_FSIZE, &m_previous) == 0;
        rlimit small = m_previous;
        small.rlim_cur = bytes;
        m_set = m_set && setrlimit(RLIMIT_FSIZE, &small) == 0;
    }
    ~FileSizeLimit()
    {
        if (m_set)
            setrlimit(RLIMIT_FSIZE, &m_previous);
        std::signal(SIGXFSZ, m_handler);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

    bool isSet() const { return m_set; }

private:
    rlimit m_previous{};
    void (*m_handler)(int) = nullptr;
    bool m_set = false;
};

} // namespace Ordavex::Testing
#endif
