#pragma once

// The heat that bench_typing types, the program's window and the plain table it types
// it into, shared by its measured sections.

#include "core/gridmodel.h"
#include "core/recovery.h"
#include "ui/dialogs.h"
#include "ui/mainform.h"

#include <QFont>
#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

class QTableWidget;
class QTemporaryDir;
class QWidget;

namespace Ordavex::TypingBench {

inline constexpr int Rows = ResultGrid::MaxDataRows;
inline constexpr int RowHeight = 24;

[[noreturn]] void fail(const QString &what);

// Records every box; a box during typing means the typed path is not the normal one.
class RecordingDialogs final : public Dialogs
{
public:
    void message(QWidget *, const QString &text) override { shown << text; }
    bool confirm(QWidget *, const QString &text) override
    {
        shown << text;
        return false;   // closing is refused; the windows are destroyed instead
    }
    void error(QWidget *, const QString &text) override { shown << text; }
    QString saveFileName(QWidget *, const FileRequest &) override { return {}; }
    QString openFileName(QWidget *, OpenDialogState &) override { return {}; }

    QStringList shown;
};

// A track heat of 50.09 s to 95.00 s (packed hundredths, 9 apart): rows from 60 s on
// are shown differently with and without the 60-second option.
int finishTime(int row);
QString laneText(int row);
// The shortest tail of the time that quick input completes from the row above.
QString typedTime(int row);

struct Key
{
    Qt::Key key;
    QString text;
};

// Per row the lane, Return, the typed tail of the time, Return.
std::vector<Key> heatKeys();
// One key as the keyboard delivers it: to the focus widget, pressed and released.
void typeKey(const Key &key);
// What the event loop does between two keys; with repaint false the repaints wait.
void betweenKeys(bool repaint);
void activate(QWidget *window);
double median(std::vector<double> values);

// The program's window with all rows of the heat, in the default settings.
std::unique_ptr<TForm1> makeForm(const QTemporaryDir &folder);
std::optional<RecoveredHeat> recoveryOnDisk(const TForm1 &form);

// The results grid's font, column widths and size on screen, for the plain table to
// copy: the same area to repaint, the same rows scrolled per Return.
struct GridLook
{
    QFont font;
    QList<int> columnWidths;
    QSize size;
};

GridLook lookOf(const TForm1 &form);
// A QTableWidget laid out like the results grid: number column, lane, time.
QTableWidget *makePlainTable(QWidget *parent, const GridLook &look);

// ---- typing (typing_keys.cpp) ----

// With passEventLoop, one pass of the event loop follows every key, so each key's
// repaint is part of its cost; without, only the key handling is timed and the
// repaints are left to after the heat.
// With startList, the heat's race has a start list of Rows starters, so that the name of
// each lane typed shows beside the grid and the lanes are checked against it.
double typeIntoForm(const QTemporaryDir &folder, RecordingDialogs &dialogs, const std::vector<Key> &keys,
                    bool passEventLoop, bool journal = true, int journalDelayMs = TForm1::RecoveryDelayMs,
                    bool startList = false);
double typeIntoPlainTable(const GridLook &look, const std::vector<Key> &keys, bool passEventLoop);

// ---- the recovery file (typing_recovery.cpp) ----

struct Delays
{
    double medianMs = 0;
    double worstMs = 0;
    int writes = 0;
};

// Bursts of 1 to 40 keys, 20 to 120 ms apart, then nothing until the file follows.
Delays measureRecoveryDelay(const QTemporaryDir &folder, const std::vector<Key> &keys, int count);

struct Stall
{
    double worstMs = 0;
    int writes = 0;   // of the recovery file, while the heat was typed
};

// Every key with its pass of the event loop on a disk whose every sync takes syncMs:
// the longest of them.
Stall worstStall(const QTemporaryDir &folder, RecordingDialogs &dialogs, const std::vector<Key> &keys, bool journal,
                 int syncMs);

// One write of the whole heat, from the hand-over on the window thread to the file.
struct RecoveryWrites
{
    std::vector<double> writes;
    std::vector<double> handOvers;   // the part on the window thread
};

RecoveryWrites measureRecoveryWrites(const QTemporaryDir &folder);

// ---- repaint of the full grid (typing_repaint.cpp) ----

struct Repaints
{
    double formMs = 0;
    double plainMs = 0;
};

Repaints measureRepaints(const QTemporaryDir &folder, int count);

} // namespace Ordavex::TypingBench
