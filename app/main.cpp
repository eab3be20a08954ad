#include "core/paths.h"
#include "ui/actionicons.h"
#include "ui/guard.h"
#include "ui/mainform.h"
#include "ui/rs232cfunc.h"
#include "ui/toolkittext.h"
#include "ui/unit2.h"
#include "ui/unit4.h"
#include "ui/unit5.h"

#include <memory>

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
        // The windows in their fixed order; only the main window is shown.
        auto form1 = std::make_unique<TForm1>(Paths::currentAppPaths());
        auto form2 = std::make_unique<TForm2>();
        auto form3 = std::make_unique<TForm3>();
        auto form4 = std::make_unique<TForm4>();
        auto form5 = std::make_unique<TForm5>();
        form1->setMonitor(form3.get());
        form1->show();
        const int result = Application::exec();
        // The other windows close with the main window.
        form5.reset();
        form4.reset();
        form3.reset();
        form2.reset();
        form1.reset();
        return result;
    } catch (...) {
        ShowException(nullptr, std::current_exception());
        return 1;
    }
}
