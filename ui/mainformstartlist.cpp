// The main window's start list: the name beside the grid and the marks in it.

#include "mainform.h"

#include "core/gridmodel.h"
#include "inputgrid.h"

#include <QItemSelectionModel>
#include <QLabel>
#include <QRadioButton>
#include <QTimer>

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
    m_starterMarkTimer = new QTimer(this);
    m_starterMarkTimer->setSingleShot(true);
    m_starterMarkTimer->setInterval(StarterMarkDelayMs);
    connect(m_starterMarkTimer, &QTimer::timeout, this, &TForm1::markStarters);
    m_starterShowTimer = new QTimer(this);
    m_starterShowTimer->setSingleShot(true);
    m_starterShowTimer->setInterval(StarterShowDelayMs);
    connect(m_starterShowTimer, &QTimer::timeout, this, &TForm1::showStarterNow);
}

void TForm1::loadStartList()
{
    const QString path = StartListPath(m_targetPath);
    m_startListPath = path;
    const StartListRead read = ReadStartListFile(path);
    m_startList = read.list;
    markStarters();
    showStarterNow();
    if (read.error.isEmpty())
        withdrawNotice(NoticeList::Cause::StartList);
    else
        postNotice(NoticeList::Cause::StartList, MsgStartListRefused.arg(path, read.error));
    showStarters();
}

void TForm1::markStarters()
{
    QList<StarterMark> marks;
    if (m_startList)
        marks = MarkStarters(*m_grid, m_settings.NumColID == 0 ? 1 : 0, *m_startList, !RadioButton5->isChecked());
    if (marks != m_starterMarks) {
        m_starterMarks = std::move(marks);
        InputGrid->viewport()->update();
        showStarterNow();
    }
}

// The current row's starter within StarterShowDelayMs, the marks of the whole grid
// within StarterMarkDelayMs: neither is put off by the next key.
void TForm1::showStarters()
{
    if (!m_starterMarkTimer->isActive())
        m_starterMarkTimer->start();
    if (!m_startList) {
        StarterLabel->hide();
        return;
    }
    if (!m_starterShowTimer->isActive())
        m_starterShowTimer->start();
}

// The current row's starter, and whether its lane is in the heat twice as the marks say.
void TForm1::showStarterNow()
{
    if (!m_startList) {
        StarterLabel->hide();
        return;
    }
    const bool byNumber = !RadioButton5->isChecked();
    const int column = m_settings.NumColID == 0 ? 1 : 0;
    const int row = ResultGrid::gridRow(InputGrid->currentIndex());
    const QString typed = row >= 1 && row <= m_grid->dataRowCount() ? m_grid->cell(column, row) : QString();
    QString text;
    if (!typed.isEmpty()) {
        const Starter *starter = FindStarter(*m_startList, typed, byNumber);
        text = starter ? StarterText(typed.toInt(), *starter) : StarterUnknown.arg(typed);
        if (m_starterMarks.value(row - 1) == StarterMark::Twice)
            text += u'\n' + StarterTwice.arg(typed);
    }
    // Drawn again only when it says something else.
    if (StarterLabel->text() != text)
        StarterLabel->setText(text);
    StarterLabel->show();
}

} // namespace Ordavex
