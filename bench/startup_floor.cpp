// A floor of the start-up benchmark, built as a program of its own that links Qt Widgets
// alone: a bare QMainWindow holding a 500-row QTableWidget, empty
// (bench_startup_floor_empty) or filled with a heat's texts under Japanese headings in
// the window's font (bench_startup_floor_filled), so that it loads and draws the same
// glyphs as the program.
//
//   bench_startup_floor_empty|filled <spawn clock ns>     run by bench_startup only

#include "startupprobe.h"

#if ORDAVEX_FLOOR_FILLED
#include "ui/windowfont.h"
#endif

#include <QMainWindow>
#include <QTableWidget>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "run by bench_startup\n");
        return 2;
    }
    StartupProbe::setSpawnedAt(argv[1]);
    StartupProbe::mark("main");
    // Qt sees only the program name.
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    StartupProbe::mark("app");
    QMainWindow window;
    auto *table = new QTableWidget(500, 3, &window);
#if ORDAVEX_FLOOR_FILLED
    window.setFont(Ordavex::WindowFont(12));
    table->setHorizontalHeaderLabels({QStringLiteral("順位"), QStringLiteral("ﾚｰﾝ"), QStringLiteral("ﾀｲﾑ")});
    for (int row = 0; row < 500; ++row) {
        table->setItem(row, 0, new QTableWidgetItem(QString::number(row + 1)));
        table->setItem(row, 1, new QTableWidgetItem(QString::number(row % 9 + 1)));
        table->setItem(row, 2, new QTableWidgetItem(QString::number(1000 + row * 37)));
    }
#endif
    window.setCentralWidget(table);
    window.resize(438, 541);
    StartupProbe::mark("window");
    StartupProbe::FirstPaint firstPaint(&window);
    window.show();
    StartupProbe::mark("show");
    return QApplication::exec();
}
