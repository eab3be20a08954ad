// The communication monitor's notices: what the reader, the capture and the logger have to
// say, held in Label1 long enough to be read, and the notes of gaps with their times.
#include "rs232cfunc.h"

#include "serial/capturefile.h"
#include "serial/serialtexts.h"

#include <QDateTime>
#include <QLabel>
#include <QTimer>

namespace Ordavex {

namespace {

QString timeOfDay(const QDateTime &when)
{
    return when.isValid() ? when.time().toString(QStringLiteral("hh:mm:ss")) : QString();
}

} // namespace

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
    // A gap still open is not opened again (a loss told twice).
    for (const Note &note : std::as_const(m_notes)) {
        if (note.kind == kind && kind != Note::Kind::Overflow && !note.to.isValid())
            return;
    }
    m_notes.append({kind, m_clock(), {}});
    showNotes();
}

void TForm3::closeNote(Note::Kind kind)
{
    for (Note &note : m_notes) {
        if (note.kind == kind && !note.to.isValid())
            note.to = m_clock();
    }
    showNotes();
}

QStringList TForm3::notes() const
{
    QStringList texts;
    for (auto note = m_notes.crbegin(); note != m_notes.crend(); ++note) {
        switch (note->kind) {
        case Note::Kind::Link:
            texts.append(NoteLinkGap.arg(timeOfDay(note->from), timeOfDay(note->to)));
            break;
        case Note::Kind::Capture:
            texts.append(NoteCaptureGap.arg(timeOfDay(note->from), timeOfDay(note->to)));
            break;
        case Note::Kind::Overflow:
            texts.append(NoteHeldOverflow.arg(timeOfDay(note->from)));
            break;
        }
    }
    return texts;
}

void TForm3::showNotes()
{
    // One line of the small window: the newest note, and how many more.
    const QStringList texts = notes();
    LabelNotice->setText(texts.size() > 1 ? texts.first() + NoteMore.arg(texts.size() - 1) : texts.value(0));
    LabelNotice->setToolTip(texts.join(QLatin1Char('\n')));
}

void TForm3::LabelNoticeClick()
{
    // A gap that goes on stays: its end is still to be told.
    m_notes.removeIf([](const Note &note) { return note.kind == Note::Kind::Overflow || note.to.isValid(); });
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
