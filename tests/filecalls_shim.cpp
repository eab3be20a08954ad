// Preloaded into a test's child: the file calls of a save fail, or never return, as on
// the file systems and kernels the program meets, for those that ORDAVEX_FAULTS names
// (a list with commas):
//   fchmod, fchown  refused (EPERM), as by a file system that keeps its own owners;
//   tmpfile         no unnamed files (O_TMPFILE), as on older kernels and some file systems;
//   linkat          no linking of an open file, as without /proc and without privilege;
//   fdatasync       never returns, as on a USB stick or network folder that stops answering.
// Each fault met is told on standard error ("fchmod refused"), so that a test knows the
// call was made.

// Our own open, as the C library's, not its inline checks.
#undef _FORTIFY_SOURCE
#undef _FILE_OFFSET_BITS

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The names are no part of one another.
bool Fails(const char *call)
{
    const char *faults = std::getenv("ORDAVEX_FAULTS");
    return faults != nullptr && std::strstr(faults, call) != nullptr;
}

void Tell(const char *what)
{
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, what, std::strlen(what));
}

template <typename Call>
Call Real(const char *name)
{
    return reinterpret_cast<Call>(dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" int open(const char *path, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE ? mode_t(va_arg(arguments, int)) : 0;
    va_end(arguments);
    if ((flags & O_TMPFILE) == O_TMPFILE && Fails("tmpfile")) {
        Tell("tmpfile refused\n");
        errno = EOPNOTSUPP;
        return -1;
    }
    static const auto real = Real<int (*)(const char *, int, ...)>("open");
    return real(path, flags, mode);
}

extern "C" int fchmod(int fd, mode_t mode)
{
    if (Fails("fchmod")) {
        Tell("fchmod refused\n");
        errno = EPERM;
        return -1;
    }
    static const auto real = Real<int (*)(int, mode_t)>("fchmod");
    return real(fd, mode);
}

extern "C" int fchown(int fd, uid_t user, gid_t group)
{
    if (Fails("fchown")) {
        Tell("fchown refused\n");
        errno = EPERM;
        return -1;
    }
    static const auto real = Real<int (*)(int, uid_t, gid_t)>("fchown");
    return real(fd, user, group);
}

extern "C" int linkat(int oldDir, const char *oldPath, int newDir, const char *newPath, int flags)
{
    if (Fails("linkat")) {
        Tell("linkat refused\n");
        errno = ENOENT;
        return -1;
    }
    static const auto real = Real<int (*)(int, const char *, int, const char *, int)>("linkat");
    return real(oldDir, oldPath, newDir, newPath, flags);
}

extern "C" int fdatasync(int fd)
{
    if (Fails("fdatasync")) {
        Tell("fdatasync hangs\n");
        for (;;)
            ::pause();
    }
    static const auto real = Real<int (*)(int)>("fdatasync");
    return real(fd);
}
