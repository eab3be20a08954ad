#pragma once

#include <QString>

#include <functional>

class QPrinter;
class QWidget;

namespace Ordavex {

// Every message box and file dialog of the program goes through here, so that a test
// can answer them without a screen.
class Dialogs
{
public:
    struct FileRequest
    {
        QString folder;       // initial folder
        QString fileName;     // proposed name (a full path or a bare name)
    };

    // The main window's one open dialog, shared by opening a heat, loading a timetable,
    // renaming a file and choosing a folder: each use starts from what the last one left
    // unless it sets otherwise.
    struct OpenDialogState
    {
        QString folder;         // initial folder
        QString fileName;       // proposed name; after a choice, the chosen path
        int filterIndex = 1;    // 1 "*.csv", 2 "*.txt"; after a choice, the one in use
    };

    virtual ~Dialogs() = default;

    // Plain message box: the text and an OK button.
    virtual void message(QWidget *parent, const QString &text) = 0;
    // The same box without waiting for OK, for what the unattended logger tells: it goes
    // on while the box is open. One at a time per window; a later text replaces the
    // text of the open box. Stand-ins that answer at once may take it as a message.
    virtual void notify(QWidget *parent, const QString &text) { message(parent, text); }
    // Confirmation box: question icon, Yes and No; true only for Yes.
    virtual bool confirm(QWidget *parent, const QString &text) = 0;
    // The application's standard error box.
    virtual void error(QWidget *parent, const QString &text) = 0;
    // A box with 待つ and 終了 for something the program is waiting for; it closes by
    // itself once settled() turns true, which it asks every WaitPollMs.
    enum class WaitAnswer { Settled, Wait, Quit };
    static constexpr int WaitPollMs = 100;
    virtual WaitAnswer waitOrQuit(QWidget *parent, const QString &text, const std::function<bool()> &settled);
    // Save dialog with the result-file filter and an overwrite prompt; empty on cancel.
    virtual QString saveFileName(QWidget *parent, const FileRequest &request) = 0;
    // The open dialog with the result-file filter, started from the state and leaving
    // the choice in it; empty on cancel. A name that does not exist may be typed.
    virtual QString openFileName(QWidget *parent, OpenDialogState &state) = 0;
    // The platform's print dialog (a PDF file among the choices), which sets up the
    // printer; false on cancel. Stand-ins that never print need not answer it: they cancel.
    virtual bool print(QWidget *parent, QPrinter &printer);
    // The folder dialog, started in folder; empty on cancel. Stand-ins that never
    // choose a folder need not answer it: they cancel.
    virtual QString folderName(QWidget *parent, const QString &folder);

    static Dialogs &instance();
    // nullptr restores the real dialogs; the caller keeps ownership.
    static void setInstance(Dialogs *dialogs);
};

// The real boxes and file dialogs.
class SystemDialogs final : public Dialogs
{
public:
    void message(QWidget *parent, const QString &text) override;
    void notify(QWidget *parent, const QString &text) override;
    bool confirm(QWidget *parent, const QString &text) override;
    void error(QWidget *parent, const QString &text) override;
    WaitAnswer waitOrQuit(QWidget *parent, const QString &text, const std::function<bool()> &settled) override;
    QString saveFileName(QWidget *parent, const FileRequest &request) override;
    QString openFileName(QWidget *parent, OpenDialogState &state) override;
    bool print(QWidget *parent, QPrinter &printer) override;
    QString folderName(QWidget *parent, const QString &folder) override;
};

// The filter of both result-file dialogs: CSV files, then TXT files.
QStringList ResultFileFilters();

} // namespace Ordavex
