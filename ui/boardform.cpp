#include "boardform.h"

#include "core/boardservice.h"
#include "dialogs.h"
#include "guard.h"
#include "qrcode.h"
#include "windowfont.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

namespace Ordavex {

namespace {

// Large enough for a phone a metre away, small enough for the dialog.
constexpr int QrSidePixels = 200;

} // namespace

TBoardForm::TBoardForm(BoardService &service, const BoardChoice &choice, QWidget *parent)
    : QDialog(parent)
    , m_service(service)
{
    setFont(WindowFont(12));
    setWindowTitle(CaptionBoard);
    setModal(true);

    BoardOn = new QCheckBox(QStringLiteral("速報ﾎﾞｰﾄﾞを公開する"), this);
    BoardOn->setObjectName(QStringLiteral("BoardOn"));

    BoardAddress = new QComboBox(this);
    BoardAddress->setObjectName(QStringLiteral("BoardAddress"));
    BoardAddress->addItems(m_service.addresses());
    // An address kept from another network stays in view: starting on it tells why not.
    if (!choice.address.isEmpty() && BoardAddress->findText(choice.address) < 0)
        BoardAddress->addItem(choice.address);
    if (!choice.address.isEmpty())
        BoardAddress->setCurrentText(choice.address);

    BoardPort = new QSpinBox(this);
    BoardPort->setObjectName(QStringLiteral("BoardPort"));
    BoardPort->setRange(1, 65535);
    BoardPort->setValue(choice.port);

    PublishFolder = new QLineEdit(choice.publishFolder, this);
    PublishFolder->setObjectName(QStringLiteral("PublishFolder"));
    BrowseFolder = new QPushButton(QStringLiteral("参照..."), this);
    BrowseFolder->setObjectName(QStringLiteral("BrowseFolder"));
    BrowseFolder->setAutoDefault(false);
    auto *folderRow = new QHBoxLayout;
    folderRow->addWidget(PublishFolder, 1);
    folderRow->addWidget(BrowseFolder);

    // Read-only but selectable, so that the address can be copied for the announcer.
    BoardUrl = new QLineEdit(this);
    BoardUrl->setObjectName(QStringLiteral("BoardUrl"));
    BoardUrl->setReadOnly(true);

    BoardQr = new QLabel(this);
    BoardQr->setObjectName(QStringLiteral("BoardQr"));
    BoardQr->setAlignment(Qt::AlignCenter);
    PrintQr = new QPushButton(QStringLiteral("QRｺｰﾄﾞ印刷"), this);
    PrintQr->setObjectName(QStringLiteral("PrintQr"));
    PrintQr->setAutoDefault(false);

    CloseButton = new QPushButton(QStringLiteral("閉じる"), this);
    CloseButton->setObjectName(QStringLiteral("CloseButton"));
    CloseButton->setDefault(true);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("ｱﾄﾞﾚｽ"), BoardAddress);
    form->addRow(QStringLiteral("ﾎﾟｰﾄ"), BoardPort);
    form->addRow(QStringLiteral("公開ﾌｫﾙﾀﾞ"), folderRow);
    form->addRow(QStringLiteral("URL"), BoardUrl);
    auto *column = new QVBoxLayout(this);
    column->addWidget(BoardOn);
    column->addLayout(form);
    column->addWidget(BoardQr, 0, Qt::AlignHCenter);
    column->addWidget(PrintQr, 0, Qt::AlignHCenter);
    column->addWidget(CloseButton, 0, Qt::AlignRight);
    setMinimumWidth(360);

    BoardOn->setChecked(m_service.isRunning() || m_service.isStarting());
    showState();

    ConnectHandler(BoardOn, &QCheckBox::clicked, this, &TBoardForm::BoardOnClick);
    // The board answers a start later: serving, or refused with the reason.
    connect(&m_service, &BoardService::stateChanged, this, &TBoardForm::showState);
    connect(&m_service, &BoardService::startFailed, this, &TBoardForm::startFailed);
    ConnectHandler(BrowseFolder, &QPushButton::clicked, this, &TBoardForm::BrowseFolderClick);
    ConnectHandler(PrintQr, &QPushButton::clicked, this, &TBoardForm::PrintQrClick);
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::accept);
}

TBoardForm::~TBoardForm() = default;

BoardChoice TBoardForm::choice() const
{
    return {m_service.isRunning() || m_service.isStarting(), BoardAddress->currentText(), BoardPort->value(),
            PublishFolder->text().trimmed()};
}

void TBoardForm::BoardOnClick()
{
    if (!BoardOn->isChecked()) {
        m_service.stop();
        showState();
        emit boardStopped();
        return;
    }
    const BoardChoice chosen = choice();
    BoardService::Options options;
    options.address = chosen.address;
    options.port = quint16(chosen.port);
    options.publishFolder = chosen.publishFolder;
    QString error;
    if (!m_service.start(options, &error)) {
        startFailed(error);
        return;
    }
    showState();
    emit boardStarted();
}

void TBoardForm::startFailed(const QString &message)
{
    {
        const QSignalBlocker blocker(BoardOn);
        BoardOn->setChecked(false);
    }
    showState();
    Dialogs::instance().message(this, message);
}

void TBoardForm::BrowseFolderClick()
{
    const QString chosen = Dialogs::instance().folderName(this, PublishFolder->text());
    if (!chosen.isEmpty())
        PublishFolder->setText(chosen);
}

void TBoardForm::PrintQrClick()
{
    // The address as the code shows it now, even if the board stops while the dialog is open.
    const QString url = m_qrUrl;
    if (url.isEmpty())
        return;
    QPrinter printer(QPrinter::HighResolution);
    PrepareQrPrinter(printer);
    printer.setDocName(CaptionBoard);
    if (!Dialogs::instance().print(this, printer))
        return;
    // A PDF file chosen in the dialog is written whole or not at all; a printer, and a
    // printer's own print to a file, report their failures in the printer's state.
    const bool toPdfFile = printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty();
    const bool printed = toPdfFile ? FileQrPage(CaptionBoard, url, printer, printer.outputFileName())
                                   : PaintQrPage(CaptionBoard, url, printer) && printer.printerState() != QPrinter::Error;
    if (!printed)
        Dialogs::instance().message(this, MsgQrNotPrinted);
}

void TBoardForm::showState()
{
    const bool running = m_service.isRunning();
    const bool starting = m_service.isStarting();
    for (QWidget *control : {static_cast<QWidget *>(BoardAddress), static_cast<QWidget *>(BoardPort),
                             static_cast<QWidget *>(PublishFolder), static_cast<QWidget *>(BrowseFolder)})
        control->setEnabled(!running && !starting);
    BoardUrl->setText(starting ? TextBoardStarting : running ? m_service.url() : QString());
    showQrCode(running && !starting ? m_service.url() : QString());
}

void TBoardForm::showQrCode(const QString &url)
{
    // The state changes with every client that comes or goes: the code is made again
    // only when the address changes.
    if (url == m_qrUrl && BoardQr->isVisibleTo(this) == !url.isEmpty())
        return;
    const QImage code = QrCodeImage(url, QrSidePixels);
    m_qrUrl = code.isNull() ? QString() : url;
    BoardQr->setPixmap(QPixmap::fromImage(code));
    BoardQr->setToolTip(m_qrUrl);
    BoardQr->setVisible(!code.isNull());
    PrintQr->setVisible(!code.isNull());
    adjustSize();
}

} // namespace Ordavex
