#include "toolkittext.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace Ordavex {

bool InstallToolkitTranslation(QCoreApplication &application)
{
    auto *translator = new QTranslator(&application);
    if (!translator->load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))
        || !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    return true;
}

} // namespace Ordavex
