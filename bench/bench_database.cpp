// Benchmark of the solve database: load + full analysis of a synthetic
// database, then filters + list texts + summary over every solve.
//
//   bench_database [SOLVES] [--write FILE]
//
// Prints wall-clock times (best of 3 runs) and the peak resident memory.
// Build in release mode for meaningful numbers.

#include "SolveDatabase.h"
#include "SolveList.h"
#include "SyntheticDatabase.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <optional>
#include <cstdio>
#include <sys/resource.h>

namespace {

long peakResidentKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    int count = 100000;
    QString writeTo;
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--write") && i + 1 < args.size())
            writeTo = args.at(++i);
        else
            count = std::max(1, args.at(i).toInt());
    }

    const QByteArray csv = SyntheticDatabaseCsv(count).toUtf8();
    QTemporaryDir dir;
    const QString path = writeTo.isEmpty() ? dir.filePath(QStringLiteral("bench.csv")) : writeTo;
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(csv) != csv.size()) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    std::printf("database: %d solves, %.1f MB\n", count, double(csv.size()) / 1e6);

    double bestLoad = 1e30;
    std::optional<db::SolveDatabase> database;
    for (int run = 0; run < 3; ++run) {
        database.reset();
        QElapsedTimer timer;
        timer.start();
        QString error;
        database = db::loadDatabaseFile(path, &error);
        bestLoad = std::min(bestLoad, double(timer.nsecsElapsed()) / 1e6);
        if (!database) {
            std::fprintf(stderr, "load failed: %s\n", qPrintable(error));
            return 1;
        }
    }
    std::printf("load + analysis: %.1f ms (best of 3), %zu records\n", bestLoad, database->solves.size());

    double bestList = 1e30;
    qsizetype listed = 0;
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer timer;
        timer.start();
        const std::vector<int32_t> shown = db::filterSolves(database->solves, db::FilterSelection{});
        QStringList texts;
        texts.reserve(qsizetype(shown.size()));
        for (int32_t index : shown)
            texts.append(db::solveListText(database->solves[size_t(index)]));
        const QString summary = db::statsText(database->solves, shown);
        bestList = std::min(bestList, double(timer.nsecsElapsed()) / 1e6);
        listed = texts.size() + (summary.isEmpty() ? 0 : 0);
    }
    std::printf("filters + list + summary: %.1f ms (best of 3), %lld listed\n", bestList,
                static_cast<long long>(listed));
    std::printf("peak resident memory: %.1f MB\n", double(peakResidentKiB()) / 1024.0);
    return 0;
}
