// Typing a heat and repainting the grid, against plain Qt widgets doing the same.
//
// 1. A 500-row heat typed key by key: per row the lane, Return, the time (only its
//    trailing digits that differ from the row above, as an official types with quick
//    input on), Return. Every key is a press and a release sent to whatever widget has
//    the focus, followed by one pass of the event loop, as a person typing would leave
//    room for repaints. The same keys go to a QTableWidget with an open editor, where
//    the bench itself moves the cell and reopens the editor after each Return.
//    Both results are checked cell by cell: a path that drops keys is not measured.
//    A second line times the same heats with the repaints left out, which shows the
//    key handling alone.
//    A third line types the same heats into the program with its recovery file on and
//    off, alternating, and gives the ratio.
// 2. Repainting the whole 500-row grid after the 60-second option is toggled, against
//    a QTableWidget holding the already-converted display texts. Each repaint renders
//    the full viewport into an image, so all 1500 cells are drawn every time.
//
// 3. The delay of the recovery file: after a burst of keys at a typist's pace, how long
//    from the last key until the file on the disk holds the heat as the grid shows it.
//
// 4. The worst stall of the event loop while a 500-row heat is typed with the recovery
//    file on a disk whose every sync takes 200 ms (a slow USB stick, a network folder;
//    the sync is made slow by the writer's seam), against the recovery file off: the
//    longest any one key took, its repaint included. The file is written 50 ms after a
//    change, so that the slow disk is kept busy for the whole heat.
//
//   bench_typing [heats] [repaints] [delays]     default 5 heats, 30 repaints, 20 delays
//
// Run with QT_QPA_PLATFORM=offscreen when there is no display.
//
// The heat, its keys and the windows are in typing_heat.cpp; one file per measured
// section: typing_keys.cpp, typing_recovery.cpp, typing_repaint.cpp.

#include "typing_heat.h"

#include "ui/guard.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

using namespace Ordavex;
using namespace Ordavex::TypingBench;

int main(int argc, char **argv)
{
    const int heats = argc >= 2 ? std::max(1, std::atoi(argv[1])) : 5;
    const int repaints = argc >= 3 ? std::max(1, std::atoi(argv[2])) : 30;
    const int delayCount = argc >= 4 ? std::max(1, std::atoi(argv[3])) : 20;
    int qtArgc = 1;
    Application app(qtArgc, argv);
    RecordingDialogs dialogs;
    Dialogs::setInstance(&dialogs);
    QTemporaryDir folder;
    if (!folder.isValid())
        fail(QStringLiteral("no temporary folder"));

    const std::vector<Key> keys = heatKeys();
    GridLook look;
    {
        const std::unique_ptr<TForm1> form = makeForm(folder);
        form->show();
        QCoreApplication::processEvents();
        look = lookOf(*form);
    }

    // One unmeasured heat of each first: fonts, glyph caches, allocator.
    typeIntoForm(folder, dialogs, keys, true);
    typeIntoPlainTable(look, keys, true);
    for (const bool passEventLoop : {true, false}) {
        std::vector<double> formTimes;
        std::vector<double> plainTimes;
        for (int i = 0; i < heats; ++i) {
            formTimes.push_back(typeIntoForm(folder, dialogs, keys, passEventLoop));
            plainTimes.push_back(typeIntoPlainTable(look, keys, passEventLoop));
        }
        const double formMs = median(formTimes);
        const double plainMs = median(plainTimes);
        const double ratio = formMs / plainMs;
        std::printf("typing%s: %d rows, %zu keys: ordavex %.1f ms / plain table %.1f ms = %.2fx"
                    " (%.1f / %.1f us per key; medians of %d heats)\n",
                    passEventLoop ? "" : " (keys only, repaints left out)", Rows, keys.size(), formMs, plainMs,
                    ratio, formMs * 1000 / double(keys.size()), plainMs * 1000 / double(keys.size()), heats);
        if (passEventLoop)
            std::printf("  target <= 1.5x: %s\n", ratio <= 1.5 ? "met" : "NOT met");
    }

    // A heat is typed here far faster than by hand, in less time than the delay: the
    // shorter delays write the 500-row heat every few keys, as the real one would at
    // a person's pace, and show what each write costs the keys.
    {
        // The names of a 500-line start list shown while typing, against none.
        std::vector<double> withNames;
        std::vector<double> without;
        for (int i = 0; i < heats; ++i) {
            without.push_back(typeIntoForm(folder, dialogs, keys, true));
            withNames.push_back(typeIntoForm(folder, dialogs, keys, true, true, TForm1::RecoveryDelayMs, true));
        }
        const double on = median(withNames);
        const double off = median(without);
        std::printf("start list (%d lines): typing with names shown %.1f ms / without %.1f ms = %.3fx"
                    " (medians of %d heats); target <= 1.05x: %s\n",
                    Rows, on, off, on / off, heats, on / off <= 1.05 ? "met" : "NOT met");
    }
    for (const int delayMs : {TForm1::RecoveryDelayMs, 50, 10}) {
        std::vector<double> onTimes;
        std::vector<double> offTimes;
        for (int i = 0; i < heats; ++i) {
            offTimes.push_back(typeIntoForm(folder, dialogs, keys, true, false));
            onTimes.push_back(typeIntoForm(folder, dialogs, keys, true, true, delayMs));
        }
        const double onMs = median(onTimes);
        const double offMs = median(offTimes);
        std::printf("recovery file (delay %d ms): typing with it on %.1f ms / off %.1f ms = %.3fx"
                    " (medians of %d heats)\n", delayMs, onMs, offMs, onMs / offMs, heats);
        if (delayMs == TForm1::RecoveryDelayMs)
            std::printf("  target <= 1.1x: %s\n", onMs / offMs <= 1.1 ? "met" : "NOT met");
    }
    {
        const RecoveryWrites measured = measureRecoveryWrites(folder);
        const std::vector<double> &writes = measured.writes;
        const std::vector<double> &handOvers = measured.handOvers;
        std::printf("recovery file: one write of a %d-row heat %.2f ms (median), %.2f ms at worst (of %zu);"
                    " on the window thread %.3f ms (median), %.3f ms at worst\n",
                    Rows, median(writes), *std::max_element(writes.begin(), writes.end()), writes.size(),
                    median(handOvers), *std::max_element(handOvers.begin(), handOvers.end()));
    }
    const Delays delays = measureRecoveryDelay(folder, keys, delayCount);
    std::printf("recovery file: on the disk %.0f ms after the last key (median), %.0f ms at worst"
                " (%d bursts; written %d ms after the first unwritten change)\n",
                delays.medianMs, delays.worstMs, delays.writes, TForm1::RecoveryDelayMs);

    {
        constexpr int SyncMs = 200;
        std::vector<double> onWorst;
        std::vector<double> offWorst;
        int writes = 0;
        for (int i = 0; i < heats; ++i) {
            offWorst.push_back(worstStall(folder, dialogs, keys, false, SyncMs).worstMs);
            const Stall on = worstStall(folder, dialogs, keys, true, SyncMs);
            onWorst.push_back(on.worstMs);
            writes += on.writes;
        }
        const double on = *std::max_element(onWorst.begin(), onWorst.end());
        const double off = *std::max_element(offWorst.begin(), offWorst.end());
        std::printf("slow disk (every sync %d ms): worst stall of the event loop while typing, recovery file on"
                    " %.1f ms / off %.1f ms = %.2fx (worst of %d heats, %d writes in all; median of the heats'"
                    " worst: on %.1f ms, off %.1f ms)\n",
                    SyncMs, on, off, on / off, heats, writes, median(onWorst), median(offWorst));
        std::printf("  target: no stall from the disk (on < %d ms): %s\n", SyncMs, on < SyncMs ? "met" : "NOT met");
    }

    const Repaints repaint = measureRepaints(folder, repaints);
    std::printf("repaint: %d rows after a 60-second toggle: ordavex %.2f ms / plain table %.2f ms = %.2fx"
                " (medians of %d)\n",
                Rows, repaint.formMs, repaint.plainMs, repaint.formMs / repaint.plainMs, repaints);

    Dialogs::setInstance(nullptr);
    return 0;
}
