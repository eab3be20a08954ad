#include "core/paths.h"
#include "ui/actionicons.h"
#include "ui/guard.h"
#include "ui/mainform.h"
#include "ui/programwindows.h"
#include "ui/toolkittext.h"

using namespace Ordavex;

int main(int argc, char *argv[])
{
    Application app(argc, argv);
    // Before any window: the tool bar's and menu bar's extension buttons take their icons
    // from the style as they are built.
    Application::setStyle(new DrawnStyle);
    Application::setApplicationName(QStringLiteral("Ordavex"));
    Application::setWindowIcon(AppIcon());
    InstallToolkitTranslation(app);
    try {
        // Only the main window is shown; the other windows close with it.
        ProgramWindows windows(Paths::currentAppPaths());
        windows.main().show();
        return Application::exec();
    } catch (...) {
        ShowException(nullptr, std::current_exception());
        return 1;
    }
}
