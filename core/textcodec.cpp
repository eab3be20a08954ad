#include "textcodec.h"

#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <iconv.h>
#endif

#include <algorithm>
#include <cstring>

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

// Opening a converter costs far more than converting a character, and a file decodes
// many texts: one converter per direction and thread, always left in its initial state.
Iconv &Decoder()
{
    thread_local Iconv cd("UTF-16LE", "CP932");
    return cd;
}

Iconv &Encoder()
{
    thread_local Iconv cd("CP932", "UTF-16LE");
    return cd;
}
#endif

} // namespace

QString decode(QByteArrayView bytes)
{
    QString result;
#ifdef Q_OS_WIN
    result.reserve(bytes.size());
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
    // Single bytes are mapped here (a result file is nearly all ASCII); only
    // double-byte characters go through iconv, one at a time, so that a bad pair costs
    // one replacement for its lead byte and its second byte is read again.
    Iconv *cd = nullptr;
    const qsizetype n = bytes.size();
    result.resize(n);   // never more characters than bytes
    char16_t *out = reinterpret_cast<char16_t *>(result.data());
    char16_t *const begin = out;
    const uchar *const in = reinterpret_cast<const uchar *>(bytes.data());
    for (qsizetype i = 0; i < n;) {
        // Eight ASCII bytes at a time, widened in a loop the compiler can vectorise.
        if (i + 8 <= n) {
            quint64 word;
            std::memcpy(&word, in + i, sizeof word);
            if ((word & 0x8080808080808080ULL) == 0) {
                for (int k = 0; k < 8; ++k)
                    out[k] = in[i + k];
                out += 8;
                i += 8;
                continue;
            }
        }
        const uchar b = in[i];
        if (b < 0x80) {
            *out++ = b;
            ++i;
            continue;
        }
        if (b >= 0xA1 && b <= 0xDF) {   // half-width katakana
            *out++ = char16_t(0xFF61 + (b - 0xA1));
            ++i;
            continue;
        }
        const bool lead = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
        if (lead && i + 1 < n) {
            if (!cd)
                cd = &Decoder();
            char pair[2] = {bytes[i], bytes[i + 1]};
            char16_t converted[2];
            char *in = pair;
            size_t inLeft = 2;
            char *convertedEnd = reinterpret_cast<char *>(converted);
            size_t outLeft = sizeof converted;
            if (cd->valid() && iconv(cd->handle(), &in, &inLeft, &convertedEnd, &outLeft) != size_t(-1)
                && outLeft == sizeof converted - 2) {
                *out++ = converted[0];
                i += 2;
                continue;
            }
            if (cd->valid())
                iconv(cd->handle(), nullptr, nullptr, nullptr, nullptr);
        }
        *out++ = Replacement;
        ++i;
    }
    result.truncate(out - begin);
#endif
    return result;
}

QByteArray encode(QStringView text, bool *lossless)
{
    bool clean = true;
    QByteArray result;
#ifdef Q_OS_WIN
    result.reserve(text.size() * 2);
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
    // ASCII and half-width katakana are mapped here; everything else goes through iconv
    // a character (or surrogate pair) at a time.
    Iconv *cd = nullptr;
    const qsizetype n = text.size();
    result.resize(2 * n);   // at most two bytes a character
    char *out = result.data();
    char *const begin = out;
    for (qsizetype i = 0; i < n;) {
        const char16_t c = text[i].unicode();
        if (c < 0x80) {
            *out++ = char(c);
            ++i;
            continue;
        }
        if (c >= 0xFF61 && c <= 0xFF9F) {
            *out++ = char(0xA1 + (c - 0xFF61));
            ++i;
            continue;
        }
        const qsizetype length =
            (QChar::isHighSurrogate(c) && i + 1 < n && text[i + 1].isLowSurrogate()) ? 2 : 1;
        if (!cd)
            cd = &Encoder();
        char *in = reinterpret_cast<char *>(const_cast<char16_t *>(text.utf16() + i));
        size_t inLeft = size_t(length) * 2;
        char converted[8];
        char *convertedEnd = converted;
        size_t outLeft = sizeof converted;
        const bool ok = cd->valid()
            && iconv(cd->handle(), &in, &inLeft, &convertedEnd, &outLeft) != size_t(-1) && inLeft == 0;
        const qsizetype produced = convertedEnd - converted;
        if (ok && produced > 0 && produced <= 2 * length) {
            out = std::copy(converted, convertedEnd, out);
        } else {
            // No form in code page 932 (or a lone surrogate): '?' in its place.
            if (cd->valid())
                iconv(cd->handle(), nullptr, nullptr, nullptr, nullptr);
            *out++ = '?';
            clean = false;
        }
        i += length;
    }
    result.truncate(out - begin);
#endif
    if (lossless)
        *lossless = clean;
    return result;
}

} // namespace Ordavex::Cp932
