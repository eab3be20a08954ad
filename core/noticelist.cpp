#include "noticelist.h"

#include "monitornotes.h"

#include <algorithm>

namespace Ordavex {

bool NoticeList::post(Cause cause, const QString &text)
{
    if (m_dismissed.contains(cause))
        return false;
    m_notices.removeIf([cause](const Notice &notice) { return notice.cause == cause; });
    m_notices.prepend({cause, text});
    return true;
}

void NoticeList::withdraw(Cause cause)
{
    m_notices.removeIf([cause](const Notice &notice) { return notice.cause == cause; });
    m_dismissed.removeAll(cause);
}

void NoticeList::dismissNewest()
{
    if (m_notices.isEmpty())
        return;
    m_dismissed.append(m_notices.takeFirst().cause);
}

bool NoticeList::holds(Cause cause) const
{
    return std::any_of(m_notices.cbegin(), m_notices.cend(),
                       [cause](const Notice &notice) { return notice.cause == cause; });
}

QString NoticeList::line() const
{
    if (m_notices.isEmpty())
        return {};
    const QString &newest = m_notices.constFirst().text;
    // As the monitor's notes line counts the others.
    return m_notices.size() > 1 ? newest + NoteMore.arg(m_notices.size() - 1) : newest;
}

QStringList NoticeList::texts() const
{
    QStringList texts;
    texts.reserve(m_notices.size());
    for (const Notice &notice : m_notices)
        texts.append(notice.text);
    return texts;
}

} // namespace Ordavex
