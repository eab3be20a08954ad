#pragma once

#include "core/boardservice.h"

#include <QString>

#include <functional>
#include <memory>

namespace Ordavex {

inline const QString MsgBoardNotLoaded = QStringLiteral("速報ﾎﾞｰﾄﾞの部品を読み込めませんでした。\n%1");

// Makes the board's service; nothing, with the message to show in error, when it
// cannot. The main window holds one, so that tests hand it a service of their own.
using BoardServiceFactory = std::function<std::unique_ptr<BoardService>(QString *error)>;

// The service from the module "ordavex_board" in folder (ordavex_board.dll on Windows,
// libordavex_board.so here). The module is loaded on the first call and stays loaded:
// the services it makes run its code.
std::unique_ptr<BoardService> LoadBoardService(const QString &folder, QString *error);

// LoadBoardService from the program's own folder.
BoardServiceFactory ModuleBoardServiceFactory();

} // namespace Ordavex
