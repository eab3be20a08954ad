#include "unit2.h"

#include "core/workfolder.h"
#include "dialogs.h"
#include "guard.h"

#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace Ordavex {

TForm2 *Form2 = nullptr;

TForm2::TForm2(QWidget *parent)
    : QDialog(parent)
{
    Form2 = this;
    setWindowTitle(CaptionDeleteDialog);
    setModal(true);

    DirPanel = new QLabel(this);
    DirPanel->setObjectName(QStringLiteral("DirPanel"));
    DirPanel->setFixedHeight(33);
    DirPanel->setFrameShape(QFrame::Panel);
    DirPanel->setFrameShadow(QFrame::Raised);
    DirPanel->setAlignment(Qt::AlignCenter);
    // A long path must not widen the fixed dialog.
    DirPanel->setMinimumWidth(1);
    DirPanel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);

    FileListBox1 = new QListWidget(this);
    FileListBox1->setObjectName(QStringLiteral("FileListBox1"));
    FileListBox1->setSelectionMode(QAbstractItemView::ExtendedSelection);

    auto *panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFixedHeight(43);
    Button1 = new QPushButton(QStringLiteral("削除"), panel);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button2 = new QPushButton(QStringLiteral("閉じる"), panel);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button1->setAutoDefault(false);
    Button2->setAutoDefault(false);
    Button1->setGeometry(16, 9, 75, 25);
    Button2->setGeometry(238 - 16 - 75, 9, 75, 25);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(DirPanel);
    column->addWidget(FileListBox1, 1);
    column->addWidget(panel);
    setFixedSize(238, 395);

    ConnectHandler(Button1, &QPushButton::clicked, this, &TForm2::Button1Click);
    ConnectHandler(Button2, &QPushButton::clicked, this, &TForm2::Button2Click);
}

TForm2::~TForm2()
{
    if (Form2 == this)
        Form2 = nullptr;
}

void TForm2::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        Guarded(this, [this] { FormShow(); });
}

void TForm2::FormShow()
{
    FileListBox1->clear();
    DirPanel->setText(QDir::toNativeSeparators(QDir(m_folder).absolutePath()));
    readFolder();
}

void TForm2::readFolder()
{
    FileListBox1->clear();
    FileListBox1->addItems(DeletableFiles(m_folder));
}

void TForm2::Button1Click()
{
    if (!Dialogs::instance().confirm(this, MsgDeleteConfirm))
        return;
    QStringList selected;
    for (int i = 0; i < FileListBox1->count(); ++i) {
        if (FileListBox1->item(i)->isSelected())
            selected.append(FileListBox1->item(i)->text());
    }
    // A file that cannot be deleted stays and shows up again in the list.
    DeleteFiles(m_folder, selected);
    readFolder();
}

void TForm2::Button2Click()
{
    close();
}

} // namespace Ordavex
