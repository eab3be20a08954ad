// The communication monitor's notices: what the reader, the capture and the logger have to
// say, held in Label1 long enough to be read, and the notes of gaps with their times.
#include "rs232cfunc.h"

#include "serial/capturefile.h"
#include "serial/serialtexts.h"

#include <QDateTime>
#include <QLabel>
#include <QTimer>

namespace Ordavex {

bool TForm3::noticeHeld() const
{
    if (!m_noticeShownAt.isValid())
        return false;
    // A clock set back ends the hold rather than making it long.
    const qint64 shown = m_noticeShownAt.msecsTo(m_clock());
    return shown >= 0 && shown < NoticeHoldMs;
}

void TForm3::showStatus(const QString &text)
{
    if (noticeHeld()) {
        m_heldStatus = text;
        if (!m_noticeTimer->isActive())
            m_noticeTimer->start();
        return;
    }
    m_noticeShownAt = QDateTime();
    Label1->setText(text);
}

void TForm3::showNotice(const QString &text)
{
    Label1->setText(text);
    m_noticeShownAt = m_clock();
    m_heldStatus.reset();
}

void TForm3::releaseStatus()
{
    if (noticeHeld())
        return;
    m_noticeTimer->stop();
    if (m_heldStatus)
        Label1->setText(*std::exchange(m_heldStatus, std::nullopt));
}

void TForm3::openNote(Note::Kind kind)
{
    m_notes.open(kind, m_clock());
    showNotes();
}

void TForm3::closeNote(Note::Kind kind)
{
    m_notes.close(kind, m_clock());
    showNotes();
}

QStringList TForm3::notes() const
{
    return m_notes.texts();
}

void TForm3::showNotes()
{
    // One line of the small window: the newest note, and how many more.
    LabelNotice->setText(m_notes.line());
    LabelNotice->setToolTip(m_notes.toolTip());
}

void TForm3::LabelNoticeClick()
{
    // A gap that goes on stays: its end is still to be told.
    m_notes.read();
    showNotes();
}

void TForm3::linkLost()
{
    showNotice(MsgPortLost);
    openNote(Note::Kind::Link);
}

void TForm3::linkBack()
{
    showNotice(MsgPortBack);
    closeNote(Note::Kind::Link);
}

void TForm3::captureFailed()
{
    showNotice(MsgCaptureFailed);
    openNote(Note::Kind::Capture);
}

void TForm3::captureBack()
{
    showNotice(MsgCaptureBack);
    closeNote(Note::Kind::Capture);
}

void TForm3::heldOverflow()
{
    showNotice(MsgHeldOverflow);
    openNote(Note::Kind::Overflow);
}

} // namespace Ordavex
