#include "boardloader.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibrary>

namespace Ordavex {

std::unique_ptr<BoardService> LoadBoardService(const QString &folder, QString *error)
{
    // Never unloaded: QLibrary leaves the module in place when it goes, and the server
    // with its network library lives in there for the rest of the run.
    QLibrary library(QDir(folder).filePath(QStringLiteral("ordavex_board")));
    if (!library.load()) {
        *error = MsgBoardNotLoaded.arg(library.errorString());
        return {};
    }
    const auto create = reinterpret_cast<OrdavexCreateBoardServiceFunction>(
        library.resolve(OrdavexCreateBoardServiceName));
    if (!create) {
        *error = MsgBoardNotLoaded.arg(library.errorString());
        return {};
    }
    std::unique_ptr<BoardService> service(create());
    if (!service)
        *error = MsgBoardNotLoaded.arg(library.fileName());
    return service;
}

BoardServiceFactory ModuleBoardServiceFactory()
{
    return [](QString *error) { return LoadBoardService(QCoreApplication::applicationDirPath(), error); };
}

} // namespace Ordavex
