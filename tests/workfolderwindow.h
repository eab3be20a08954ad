#pragma once

// The main window in a program folder of its own whose settings name a separate work
// folder, as the window tests of files, races and the heat sheet start it.

#include "uitest.h"
#include "ui/mainform.h"

#include <memory>

namespace Ordavex::Testing {

struct WorkFolderWindow
{
    WorkFolderWindow()
    {
        folder.writeSettings("[WorkFiles]\r\nexFilePath=" + work.path().toUtf8() + "\r\n");
        form = std::make_unique<TForm1>(folder.appPaths());
    }
    WorkFolderWindow(const WorkFolderWindow &) = delete;
    WorkFolderWindow &operator=(const WorkFolderWindow &) = delete;

    ScriptedDialogs dialogs;
    ProgramFolder folder;
    ProgramFolder work;
    std::unique_ptr<TForm1> form;   // goes first, before its folders
};

} // namespace Ordavex::Testing
