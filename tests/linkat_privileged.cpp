// Preloaded into a test's child: linking an open file by its descriptor (AT_EMPTY_PATH)
// fails for the caller as it does for any unprivileged caller on kernels before 6.10,
// so that only the link through /proc is left, as on the machines the program runs on.

#include <cerrno>
#include <dlfcn.h>
#include <fcntl.h>

extern "C" int linkat(int oldDir, const char *oldPath, int newDir, const char *newPath, int flags)
{
    if (flags & AT_EMPTY_PATH) {
        errno = ENOENT;
        return -1;
    }
    using Real = int (*)(int, const char *, int, const char *, int);
    static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "linkat"));
    return real(oldDir, oldPath, newDir, newPath, flags);
}
