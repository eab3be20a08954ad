#pragma once

// The main window with the communication monitor attached, in a program folder of their
// own with a log folder, as the link's window tests start them.

#include "uitest.h"
#include "ui/mainform.h"
#include "ui/rs232cfunc.h"

#include <memory>

namespace Ordavex::Testing {

struct LinkWindows
{
    LinkWindows()
        : main(std::make_unique<TForm1>(folder.appPaths()))
        , monitor(std::make_unique<TForm3>())
    {
        main->setMonitor(monitor.get());
        main->setLogFolder(logs.path());
        main->show();
    }
    ~LinkWindows()
    {
        monitor->hide();
        monitor.reset();
        main.reset();
    }
    LinkWindows(const LinkWindows &) = delete;
    LinkWindows &operator=(const LinkWindows &) = delete;

    ScriptedDialogs dialogs;
    ProgramFolder folder;
    QTemporaryDir logs;
    std::unique_ptr<TForm1> main;
    std::unique_ptr<TForm3> monitor;
};

} // namespace Ordavex::Testing
