// Benchmark of the analyser window with a large synthetic database: the load
// (worker thread) until the window shows it, a filter change (list rebuilt,
// summary, charts), moving the current row one step with the arrow key, and
// the longest time the window's thread went without handling its events
// during the load.
//
//   QT_QPA_PLATFORM=offscreen bench_dbanalyser [SOLVES]
//
// Build in release mode for meaningful numbers.

#include "DBAnalyser.h"
#include "SyntheticDatabase.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>
#include <QKeyEvent>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double msSince(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

}  // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int solves = argc > 1 ? std::max(1, atoi(argv[1])) : 100000;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.csv"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        file.write(SyntheticDatabaseCsv(solves).toUtf8());
    }

    DBAnalyser window;
    window.show();
    auto *methodCombo = window.findChild<QComboBox *>(QStringLiteral("methodCombo"));
    auto *solveList = window.findChild<QListWidget *>(QStringLiteral("solveList"));
    if (!methodCombo || !solveList)
        return 1;

    // The load, with a 10 ms ticker measuring how long events wait.
    double longestGap = 0.0;
    QElapsedTimer sinceTick;
    QTimer ticker;
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, msSince(sinceTick));
        sinceTick.restart();
    });
    QEventLoop loop;
    QObject::connect(&window, &DBAnalyser::loadFinished, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    sinceTick.start();
    ticker.start();
    if (!window.loadDatabase(path))
        return 1;
    loop.exec();
    const double loadMs = msSince(clock);
    ticker.stop();

    // Filter changes: method CFOP and back to Any, each a list rebuild with
    // summary and charts; then the arrow key down the list.
    std::vector<double> filterRuns;
    for (int run = 0; run < 4; ++run) {
        clock.restart();
        methodCombo->setCurrentIndex(run % 2 == 0 ? 1 : 0);
        QCoreApplication::processEvents();
        filterRuns.push_back(msSince(clock));
    }
    solveList->setFocus();
    solveList->setCurrentRow(0);
    QCoreApplication::processEvents();
    std::vector<double> stepRuns;
    for (int step = 0; step < 20; ++step) {
        clock.restart();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Down, Qt::NoModifier);
        QCoreApplication::sendEvent(solveList, &press);
        QCoreApplication::sendEvent(solveList, &release);
        QCoreApplication::processEvents();
        stepRuns.push_back(msSince(clock));
    }

    std::printf("analyser window, %d solves (%d listed)\n", solves, solveList->count());
    std::printf("  load until shown:              %8.1f ms\n", loadMs);
    std::printf("  longest wait of the window's events during the load: %.1f ms\n", longestGap);
    std::printf("  filter change (median of 4):   %8.1f ms\n", median(filterRuns));
    std::printf("  arrow key, one row (median of 20): %6.1f ms, slowest %.1f ms\n", median(stepRuns),
                *std::max_element(stepRuns.begin(), stepRuns.end()));
    return 0;
}
