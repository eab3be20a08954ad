#include "textcodec.h"

#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <iconv.h>
#endif

#include <cerrno>

namespace Ordavex::Cp932 {

namespace {

constexpr char16_t Replacement = 0xFFFD;

#ifndef Q_OS_WIN
// glibc's "CP932" is the Windows table (0x5C is the backslash) and reports bad and
// truncated sequences instead of guessing.
class Iconv final
{
public:
    Iconv(const char *to, const char *from) : m_cd(iconv_open(to, from)) {}
    ~Iconv()
    {
        if (valid())
            iconv_close(m_cd);
    }
    Iconv(const Iconv &) = delete;
    Iconv &operator=(const Iconv &) = delete;

    bool valid() const { return m_cd != iconv_t(-1); }
    iconv_t handle() const { return m_cd; }

private:
    iconv_t m_cd;
};
#endif

} // namespace

QString decode(QByteArrayView bytes)
{
    QString result;
    result.reserve(bytes.size());
#ifdef Q_OS_WIN
    // Per character, so that one bad byte costs one replacement and not the whole text.
    qsizetype i = 0;
    while (i < bytes.size()) {
        const uchar b = uchar(bytes[i]);
        if (b < 0x80) {
            result.append(QChar(char16_t(b)));
            ++i;
            continue;
        }
        const int len = IsDBCSLeadByteEx(932, b) ? 2 : 1;
        wchar_t out[2];
        const int n = (i + len <= bytes.size())
            ? MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes.data() + i, len, out, 2)
            : 0;
        if (n > 0) {
            result.append(QStringView(reinterpret_cast<const char16_t *>(out), n));
            i += len;
        } else {
            result.append(QChar(Replacement));
            ++i;
        }
    }
#else
    Iconv cd("UTF-16LE", "CP932");
    if (!cd.valid()) {
        for (char c : bytes)
            result.append(uchar(c) < 0x80 ? QChar(char16_t(uchar(c))) : QChar(Replacement));
        return result;
    }
    QByteArray out(4 * bytes.size() + 8, Qt::Uninitialized);
    char *in = const_cast<char *>(bytes.data());
    size_t inLeft = size_t(bytes.size());
    while (inLeft > 0) {
        char *outPtr = out.data();
        size_t outLeft = size_t(out.size());
        const size_t rc = iconv(cd.handle(), &in, &inLeft, &outPtr, &outLeft);
        const qsizetype produced = out.size() - qsizetype(outLeft);
        result.append(QStringView(reinterpret_cast<const char16_t *>(out.constData()), produced / 2));
        if (rc != size_t(-1))
            break;
        if (errno == E2BIG)
            continue;
        // EILSEQ or EINVAL: one bad (or cut-off) byte becomes one replacement.
        result.append(QChar(Replacement));
        ++in;
        --inLeft;
        iconv(cd.handle(), nullptr, nullptr, nullptr, nullptr);
    }
#endif
    return result;
}

QByteArray encode(QStringView text, bool *lossless)
{
    bool clean = true;
    QByteArray result;
    result.reserve(text.size() * 2);
#ifdef Q_OS_WIN
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x80) {
            result.append(char(c));
            continue;
        }
        int len = 1;
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            len = 2;
        char out[8];
        BOOL usedDefault = FALSE;
        const int n = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS,
                                          reinterpret_cast<const wchar_t *>(text.utf16() + i), len,
                                          out, sizeof out, nullptr, &usedDefault);
        if (n <= 0 || usedDefault) {
            result.append('?');
            clean = false;
        } else {
            result.append(out, n);
        }
        i += len - 1;
    }
#else
    Iconv cd("CP932", "UTF-16LE");
    if (!cd.valid()) {
        for (QChar c : text) {
            clean = clean && c.unicode() < 0x80;
            result.append(c.unicode() < 0x80 ? char(c.unicode()) : '?');
        }
    } else {
        char *in = reinterpret_cast<char *>(const_cast<char16_t *>(text.utf16()));
        size_t inLeft = size_t(text.size()) * 2;
        QByteArray out(4 * text.size() + 8, Qt::Uninitialized);
        while (inLeft > 0) {
            char *outPtr = out.data();
            size_t outLeft = size_t(out.size());
            const size_t rc = iconv(cd.handle(), &in, &inLeft, &outPtr, &outLeft);
            result.append(out.constData(), out.size() - qsizetype(outLeft));
            if (rc != size_t(-1))
                break;
            if (errno == E2BIG)
                continue;
            // A character without a form here (or a lone surrogate) becomes '?'. Only a
            // real pair is skipped as one; a lone high surrogate must not take the
            // character after it along.
            const char16_t *c = reinterpret_cast<const char16_t *>(in);
            const size_t skip =
                (QChar::isHighSurrogate(c[0]) && inLeft >= 4 && QChar::isLowSurrogate(c[1])) ? 4 : 2;
            result.append('?');
            clean = false;
            in += skip;
            inLeft -= skip;
            iconv(cd.handle(), nullptr, nullptr, nullptr, nullptr);
        }
    }
#endif
    if (lossless)
        *lossless = clean;
    return result;
}

} // namespace Ordavex::Cp932
