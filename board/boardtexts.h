#pragma once

#include <QString>

namespace Ordavex {

// Messages of the board, shown by the window that turns it on.
inline const QString MsgBoardPortTaken = QStringLiteral("ﾎﾟｰﾄ %1 は他のﾌﾟﾛｸﾞﾗﾑが使用中です。");
inline const QString MsgBoardAddressUnavailable = QStringLiteral("ｱﾄﾞﾚｽ %1 で待ち受けできません。");
inline const QString MsgBoardPortNotAllowed = QStringLiteral("ﾎﾟｰﾄ %1 で待ち受ける権限がありません。");
inline const QString MsgBoardListenFailed = QStringLiteral("速報ﾎﾞｰﾄﾞを開始できませんでした。(%1)");
inline const QString MsgBoardPublishFailed = QStringLiteral("公開ﾌｫﾙﾀﾞに %1 を書き込めません。");
inline const QString MsgBoardPublishFolderMissing = QStringLiteral("公開ﾌｫﾙﾀﾞ %1 を作成できません。");

} // namespace Ordavex
