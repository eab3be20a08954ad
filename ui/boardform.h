#pragma once

#include "core/settings.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace Ordavex {

class BoardService;

inline const QString CaptionBoard = QStringLiteral("速報ﾎﾞｰﾄﾞ");
inline const QString TextBoardStarting = QStringLiteral("開始しています...");
inline const QString MsgQrNotPrinted = QStringLiteral("QRｺｰﾄﾞを印刷できませんでした。");

// What the board dialog hands back for the settings record.
struct BoardChoice
{
    bool on = false;
    QString address;
    int port = DefaultBoardPort;
    QString publishFolder;
};

// The board dialog: on or off, where it serves and where it publishes. Turning it on
// starts the service; a refusal, told at once or when the board answers, is told in a
// box and the check box goes back off. Where it serves cannot change while it is on: it is turned off first.
// While it serves, the address is also shown as a QR code for phones, which can be printed.
class TBoardForm final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TBoardForm)

public:
    TBoardForm(BoardService &service, const BoardChoice &choice, QWidget *parent = nullptr);
    ~TBoardForm() override;

    // The controls as they stand; on is whether the board runs.
    BoardChoice choice() const;

    QCheckBox *BoardOn = nullptr;
    QComboBox *BoardAddress = nullptr;
    QSpinBox *BoardPort = nullptr;
    QLineEdit *PublishFolder = nullptr;
    QPushButton *BrowseFolder = nullptr;
    QLineEdit *BoardUrl = nullptr;
    QLabel *BoardQr = nullptr;
    QPushButton *PrintQr = nullptr;
    QPushButton *CloseButton = nullptr;

    void BoardOnClick();
    void BrowseFolderClick();
    void PrintQrClick();

signals:
    // The board was started or stopped from here.
    void boardStarted();
    void boardStopped();

private:
    void showState();
    void startFailed(const QString &message);
    void showQrCode(const QString &url);

    BoardService &m_service;
    // The address the code shown is of; empty while none is shown.
    QString m_qrUrl;
};

} // namespace Ordavex
