#pragma once

#include <QString>

namespace Ordavex {

// Status texts of the serial link, shown in the monitor's Label1.
inline const QString MsgPortLost = QStringLiteral("RS232Cﾎﾟｰﾄとの接続が切れました。");
inline const QString MsgPortBack = QStringLiteral("RS232Cﾎﾟｰﾄと再び接続しました。");
// The bytes held at the line limit reached their bound; what came past it is only in the capture.
inline const QString MsgHeldOverflow = QStringLiteral("受信ﾃﾞｰﾀが溜まりすぎたため一部を破棄しました。");
inline const QString MsgCaptureBack = QStringLiteral("受信ﾃﾞｰﾀの記録を再開しました。");
inline const QString MsgNoOneAndHalfStopBits = QStringLiteral("ｽﾄｯﾌﾟﾋﾞｯﾄ1.5はこのｼｽﾃﾑにありません。1で開きました。");

} // namespace Ordavex
