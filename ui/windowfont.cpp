#include "windowfont.h"

#include <QFontDatabase>
#include <QStringList>

#include <algorithm>

namespace Ordavex {

QFont WindowFont(int pixelSize)
{
    // The first of these that is installed, looked up once: naming missing families
    // makes every font of the window search for a fall-back again.
    static const QString family = [] {
        // families() rather than hasFamily(): the latter asks fontconfig to resolve
        // each missing name as an alias, which costs more than the whole window.
        const QStringList installed = QFontDatabase::families();
        for (const QString &candidate : {QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"),
                                         QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic"),
                                         QStringLiteral("Noto Sans CJK JP")}) {
            if (installed.contains(candidate, Qt::CaseInsensitive))
                return candidate;
        }
        return QString();
    }();
    QFont font;
    if (!family.isEmpty())
        font.setFamily(family);
    font.setPixelSize(pixelSize);
    // Unhinted glyphs render faster and need less memory; at these sizes they read the same.
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

QFont PrintFont(qreal pixels, bool bold)
{
    QFont font = WindowFont(std::max(1, qRound(pixels)));
    font.setBold(bold);
    return font;
}

} // namespace Ordavex
