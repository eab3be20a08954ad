#pragma once

// Shared pieces of the window tests: scripted message boxes and file dialogs, a
// temporary program folder, and typing into whatever widget holds the focus.

#include "core/paths.h"
#include "ui/dialogs.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QPrinter>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <deque>

namespace Ordavex::Testing {

// Records every box and answers from queues; with nothing queued a confirmation is
// answered No and a file dialog is cancelled.
class ScriptedDialogs final : public Dialogs
{
public:
    ScriptedDialogs() { Dialogs::setInstance(this); }
    ~ScriptedDialogs() override { Dialogs::setInstance(nullptr); }
    ScriptedDialogs(const ScriptedDialogs &) = delete;
    ScriptedDialogs &operator=(const ScriptedDialogs &) = delete;

    void message(QWidget *, const QString &text) override { shown << text; }
    bool confirm(QWidget *, const QString &text) override
    {
        confirmations << text;
        if (answers.empty())
            return false;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void error(QWidget *, const QString &text) override { errors << text; }
    QString saveFileName(QWidget *, const FileRequest &request) override
    {
        saveRequests.push_back(request);
        return next(files);
    }
    // Records the state as the dialog was started with it, and leaves the choice in it
    // as the real dialog does.
    QString openFileName(QWidget *, OpenDialogState &state) override
    {
        openRequests.push_back(state);
        const QString chosen = next(files);
        if (!chosen.isEmpty())
            state.fileName = chosen;
        return chosen;
    }

    // Prints to the next queued PDF file, as choosing a PDF file in the dialog does;
    // with nothing queued the dialog is cancelled.
    bool print(QWidget *, QPrinter &printer) override
    {
        ++printDialogs;
        const QString pdf = next(printFiles);
        if (pdf.isEmpty())
            return false;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        return true;
    }

    void clear()
    {
        shown.clear();
        confirmations.clear();
        errors.clear();
        saveRequests.clear();
        openRequests.clear();
        printDialogs = 0;
    }

    QStringList shown;
    QStringList confirmations;
    QStringList errors;
    std::deque<bool> answers;
    std::deque<QString> files;
    QList<FileRequest> saveRequests;
    QList<OpenDialogState> openRequests;
    std::deque<QString> printFiles;
    int printDialogs = 0;

private:
    static QString next(std::deque<QString> &queue)
    {
        if (queue.empty())
            return {};
        QString value = queue.front();
        queue.pop_front();
        return value;
    }
};

// A program folder of its own: the binary's path, its settings file and its folders.
struct ProgramFolder
{
    QTemporaryDir dir;

    QString path() const { return QDir::toNativeSeparators(dir.path()); }
    QString settingsFile() const { return Paths::join(path(), QStringLiteral("ordavex.INI")); }
    Paths::AppPaths appPaths() const
    {
        return Paths::resolveAppPaths(Paths::join(path(), QStringLiteral("ordavex")), true, {}, {});
    }
    void writeSettings(const QByteArray &text) const
    {
        QFile file(settingsFile());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    QByteArray settingsBytes() const
    {
        QFile file(settingsFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

// One key to whatever widget has the keyboard focus at this moment, never to a widget
// picked by the test: a key that the grid lets slip away is lost, as it would be.
inline void pressKey(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget *target = QApplication::focusWidget();
    QVERIFY2(target, "no widget has the keyboard focus");
    QTest::keyClick(target, key, modifiers);
}

// Types a text: '\n' is Enter, every other character is typed as itself.
inline void typeText(const QString &text)
{
    for (const QChar c : text) {
        QWidget *target = QApplication::focusWidget();
        QVERIFY2(target, "no widget has the keyboard focus");
        if (c == u'\n')
            QTest::keyClick(target, Qt::Key_Return);
        else
            QTest::keyClick(target, c.toLatin1());
    }
}

} // namespace Ordavex::Testing
