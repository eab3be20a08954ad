// The main window's start list: the name beside the grid and the marks in it.

#include "mainform.h"

#include "core/gridmodel.h"
#include "inputgrid.h"

#include <QItemSelectionModel>
#include <QLabel>
#include <QRadioButton>

namespace Ordavex {

void TForm1::connectStartList()
{
    InputGrid->cellDelegate()->markColour = [this](int col, int row) -> std::optional<QColor> {
        if (col != (m_settings.NumColID == 0 ? 1 : 0) || row < 1 || row > m_starterMarks.size())
            return std::nullopt;
        switch (m_starterMarks[row - 1]) {
        case StarterMark::Unknown:
            return StarterUnknownColour;
        case StarterMark::Twice:
            return StarterTwiceColour;
        default:
            return std::nullopt;
        }
    };
    connect(InputGrid->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] {
        if (m_startList)
            showStarters();
    });
}

void TForm1::loadStartList()
{
    const QString path = StartListPath(m_targetPath);
    m_startListPath = path;
    const StartListRead read = ReadStartListFile(path);
    m_startList = read.list;
    if (read.error.isEmpty())
        withdrawNotice(NoticeList::Cause::StartList);
    else
        postNotice(NoticeList::Cause::StartList, MsgStartListRefused.arg(path, read.error));
    showStarters();
}

void TForm1::showStarters()
{
    if (!m_startList) {
        m_starterMarks.clear();
        StarterLabel->hide();
        return;
    }
    const bool byNumber = !RadioButton5->isChecked();
    const int column = m_settings.NumColID == 0 ? 1 : 0;
    QList<StarterMark> marks = MarkStarters(*m_grid, column, *m_startList, byNumber);
    if (marks != m_starterMarks) {
        m_starterMarks = std::move(marks);
        InputGrid->viewport()->update();
    }
    const int row = ResultGrid::gridRow(InputGrid->currentIndex());
    const QString typed = row >= 1 ? m_grid->cell(column, row) : QString();
    QString text;
    if (!typed.isEmpty()) {
        const StarterMark mark = m_starterMarks.value(row - 1);
        if (const Starter *starter = FindStarter(*m_startList, typed, byNumber))
            text = StarterText(typed.toInt(), *starter);
        else
            text = StarterUnknown.arg(typed);
        if (mark == StarterMark::Twice)
            text += u'\n' + StarterTwice.arg(typed);
    }
    StarterLabel->setText(text);
    StarterLabel->show();
}

} // namespace Ordavex
