#pragma once

// The real program driven on the virtual X server with xdotool, as an operator would:
// finding its windows, focusing them, pressing keys and typing.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTest>

namespace Ordavex::Testing::Xdotool {

// Runs xdotool and gives its output; empty when it failed or found nothing.
inline QString run(const QStringList &arguments)
{
    QProcess tool;
    tool.start(QStringLiteral("xdotool"), arguments);
    if (!tool.waitForFinished(10000) || tool.exitCode() != 0)
        return {};
    return QString::fromLocal8Bit(tool.readAllStandardOutput()).trimmed();
}

// Focuses the window, then leaves the program settleMs to take the activation, so that no
// key goes to the window that had it before.
inline bool focusWindow(const QString &id, int settleMs = 0)
{
    QProcess tool;
    tool.start(QStringLiteral("xdotool"), {QStringLiteral("windowfocus"), QStringLiteral("--sync"), id});
    const bool focused = tool.waitForFinished(10000) && tool.exitCode() == 0;
    if (settleMs > 0)
        QTest::qWait(settleMs);
    return focused;
}

inline bool keys(const QStringList &names, int delayMs)
{
    return QProcess::execute(QStringLiteral("xdotool"),
                             QStringList{QStringLiteral("key"), QStringLiteral("--delay"), QString::number(delayMs)}
                                 + names)
           == 0;
}

inline bool typeText(const QString &text, int delayMs)
{
    return QProcess::execute(QStringLiteral("xdotool"),
                             {QStringLiteral("type"), QStringLiteral("--delay"), QString::number(delayMs), text})
           == 0;
}

// The environment for the real program started from folder. In the sanitizer build the
// leak checker would fail the program for what libdbus keeps of the xcb platform's search
// for a session bus, which this X server's session does not run: a suppression file in
// the folder says so. Empty when the file cannot be written.
inline QProcessEnvironment programEnvironment(const QString &folder)
{
    QFile suppressions(QDir(folder).filePath(QStringLiteral("lsan.supp")));
    if (!suppressions.open(QIODevice::WriteOnly) || suppressions.write("leak:libdbus-1.so\n") < 0)
        return {};
    suppressions.close();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString lsan = environment.value(QStringLiteral("LSAN_OPTIONS"));
    environment.insert(QStringLiteral("LSAN_OPTIONS"), (lsan.isEmpty() ? QString() : lsan + u':')
                                                           + QStringLiteral("suppressions=") + suppressions.fileName());
    return environment;
}

} // namespace Ordavex::Testing::Xdotool
