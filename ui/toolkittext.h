#pragma once

class QCoreApplication;

namespace Ordavex {

// Qt's own Japanese texts (file dialogs, the overwrite question, standard buttons,
// context menus), whatever the locale: the program speaks Japanese only. False when
// the translation is not installed; the toolkit then stays in English.
bool InstallToolkitTranslation(QCoreApplication &application);

} // namespace Ordavex
