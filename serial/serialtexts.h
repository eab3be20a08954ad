#pragma once

#include <QString>

namespace Ordavex {

// Status texts of the serial link, shown in the monitor's Label1.
inline const QString MsgPortLost = QStringLiteral("RS232Cﾎﾟｰﾄとの接続が切れました。");
inline const QString MsgPortBack = QStringLiteral("RS232Cﾎﾟｰﾄと再び接続しました。");
inline const QString MsgNoOneAndHalfStopBits = QStringLiteral("ｽﾄｯﾌﾟﾋﾞｯﾄ1.5はこのｼｽﾃﾑにありません。1で開きました。");

} // namespace Ordavex
