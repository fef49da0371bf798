// framewright-cli: the headless face of Framewright's analysis tools, for
// scripting and for testing the analysis from outside.
//
//   framewright-cli calc MODE [FILE]
//   framewright-cli db FILE [--puzzle TEXT] [--method TEXT] [--solver NAME]
//                   [--filter TYPE:PARAM] [--no-moves] (--list | --stats | --table)
//   framewright-cli db-convert [FILE]
//   framewright-cli probe | frame | frames ...   (frame sources, see the usage text)
//   framewright-cli gif ...                      (animated GIF export)
//   framewright-cli export FILE -o OUT.mp4 ...   (MP4 video export, see the usage text)
//   framewright-cli ocr FILE INDEX ...           (text recognition of a frame)
//
// Input comes from FILE, or standard input when FILE is absent or "-", as
// UTF-8. Output is UTF-8 on standard output. Exit codes: 0 success, 1 an
// unreadable file or unconvertible input, 2 bad usage.

#include "Calculator.h"
#include "Charts.h"
#include "CliIo.h"
#include "SolveDatabase.h"
#include "SolveList.h"
#include "SolveTables.h"
#include "Version.h"
#include "VideoCommands.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

using namespace cli;

namespace {

// Width of the charts, as the analyser's statistics panel draws them.
constexpr int kChartWidth = 250;

// The whole input as UTF-8 text, or nullopt after printing why it could not be read.
std::optional<QString> readInput(const QString &path)
{
    QFile file;
    bool opened = false;
    if (path.isEmpty() || path == QLatin1String("-"))
        opened = file.open(stdin, QIODevice::ReadOnly);
    else {
        file.setFileName(path);
        opened = file.open(QIODevice::ReadOnly);
    }
    if (!opened) {
        writeErr(QStringLiteral("framewright-cli: cannot read \"%1\": %2\n").arg(path, file.errorString()));
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        writeErr(QStringLiteral("framewright-cli: cannot read \"%1\": %2\n").arg(path, file.errorString()));
        return std::nullopt;
    }
    return QString::fromUtf8(bytes);
}

int runCalc(const QStringList &args)
{
    if (args.isEmpty() || args.size() > 2)
        return usageError(QStringLiteral("calc takes a mode and at most one file"));
    static const QStringList modes = {QStringLiteral("cross"), QStringLiteral("f2l"), QStringLiteral("ll"),
                                      QStringLiteral("moves")};
    const qsizetype mode = modes.indexOf(args.at(0));
    if (mode < 0)
        return usageError(QStringLiteral("unknown calc mode \"%1\"").arg(args.at(0)));
    std::optional<QString> text = readInput(args.size() > 1 ? args.at(1) : QString());
    if (!text)
        return kExitFailure;
    // As the text edit holds pasted text: every line end is a line feed.
    text->replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text->replace(QLatin1Char('\r'), QLatin1Char('\n'));
    writeOut(cube::calculatorOutput(*text, static_cast<cube::CalculatorMode>(mode)) + QLatin1Char('\n'));
    return kExitOk;
}

int runDb(const QStringList &args)
{
    QString path;
    db::FilterSelection selection;
    bool includeMoves = true;
    enum class Output { None, List, Stats, Table } output = Output::None;
    QString chartsDir;
    int currentRow = -1;

    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        const auto value = [&](QString *target) {
            if (i + 1 >= args.size())
                return false;
            *target = args.at(++i);
            return true;
        };
        const auto setOutput = [&](Output chosen) {
            if (output != Output::None && output != chosen)
                return false;
            output = chosen;
            return true;
        };
        // A puzzle or method box entry by its text; false for any other text.
        const auto entry = [&](const QStringList &entries, int *position) {
            QString text;
            if (!value(&text))
                return false;
            *position = int(entries.indexOf(text));
            return *position >= 0;
        };
        if (arg == QLatin1String("--puzzle")) {
            if (!entry(db::puzzleEntries(), &selection.puzzle))
                return usageError(QStringLiteral("--puzzle takes one of: %1").arg(db::puzzleEntries().join(QStringLiteral(", "))));
        } else if (arg == QLatin1String("--method")) {
            if (!entry(db::methodEntries(), &selection.method))
                return usageError(QStringLiteral("--method takes one of: %1").arg(db::methodEntries().join(QStringLiteral(", "))));
        } else if (arg == QLatin1String("--solver")) {
            if (!value(&selection.solver))
                return usageError(QStringLiteral("--solver needs a value"));
        } else if (arg == QLatin1String("--filter")) {
            QString filter;
            if (!value(&filter))
                return usageError(QStringLiteral("--filter needs TYPE:PARAM"));
            const qsizetype colon = filter.indexOf(QLatin1Char(':'));
            const QString type = filter.left(colon);
            const QString param = colon < 0 ? QString() : filter.mid(colon + 1);
            const std::optional<db::FilterType> kind = db::filterTypeNamed(type);
            if (colon < 0 || !kind || *kind == db::FilterType::None)
                return usageError(QStringLiteral("--filter takes TYPE:PARAM with TYPE one of Time, Cross, Skip, PLL"));
            const QStringList entries = db::filterParamEntries(*kind);
            if (!entries.contains(param))
                return usageError(QStringLiteral("\"%1\" is not a %2 filter; use one of: %3")
                                      .arg(param, type, entries.join(QStringLiteral(", "))));
            selection.filterType = *kind;
            selection.filterParam = int(entries.indexOf(param));
        } else if (arg == QLatin1String("--no-moves")) {
            includeMoves = false;
        } else if (arg == QLatin1String("--list")) {
            if (!setOutput(Output::List))
                return usageError(QStringLiteral("choose one of --list, --stats, --table"));
        } else if (arg == QLatin1String("--stats")) {
            if (!setOutput(Output::Stats))
                return usageError(QStringLiteral("choose one of --list, --stats, --table"));
        } else if (arg == QLatin1String("--table")) {
            if (!setOutput(Output::Table))
                return usageError(QStringLiteral("choose one of --list, --stats, --table"));
        } else if (arg == QLatin1String("--charts")) {
            if (!value(&chartsDir))
                return usageError(QStringLiteral("--charts needs a folder"));
        } else if (arg == QLatin1String("--current")) {
            QString row;
            bool ok = false;
            if (!value(&row) || (currentRow = row.toInt(&ok), !ok) || currentRow < 0)
                return usageError(QStringLiteral("--current takes a row of the list, from 0"));
        } else if (arg.startsWith(QLatin1String("--"))) {
            return usageError(QStringLiteral("unknown option \"%1\"").arg(arg));
        } else if (path.isEmpty()) {
            path = arg;
        } else {
            return usageError(QStringLiteral("db takes one file"));
        }
    }
    if (path.isEmpty())
        return usageError(QStringLiteral("db needs a database file"));
    if (output == Output::None && chartsDir.isEmpty())
        return usageError(QStringLiteral("choose one of --list, --stats, --table (or --charts DIR)"));
    if (currentRow >= 0 && chartsDir.isEmpty())
        return usageError(QStringLiteral("--current marks a solve in the charts: give --charts DIR"));

    QString error;
    std::optional<db::SolveDatabase> loaded = db::loadDatabaseFile(path, &error);
    if (!loaded) {
        writeErr(QStringLiteral("framewright-cli: cannot read \"%1\": %2\n").arg(path, error));
        return kExitFailure;
    }
    // Left to the end of the process, which frees it at once: freeing 100,000
    // records one allocation at a time takes a tenth of a second. The global
    // keeps it reachable, so leak checkers do not count it.
    static const db::SolveDatabase *keptDatabase = nullptr;
    keptDatabase = new db::SolveDatabase(std::move(*loaded));
    const db::SolveDatabase *const database = keptDatabase;
    const std::vector<int32_t> shown = db::filterSolves(database->solves, selection);
    if (!chartsDir.isEmpty()) {
        if (currentRow >= 0 && size_t(currentRow) >= shown.size()) {
            writeErr(QStringLiteral("framewright-cli: no row %1 in the list of %2 solves\n").arg(currentRow).arg(shown.size()));
            return kExitFailure;
        }
        if (!QDir().mkpath(chartsDir)) {
            writeErr(QStringLiteral("framewright-cli: cannot make the folder \"%1\"\n").arg(chartsDir));
            return kExitFailure;
        }
        charts::ChartData data;
        data.records = &database->solves;
        data.listed = db::workingSet(database->solves, shown);
        data.current = currentRow;
        data.summarise();  // once for the six charts, not once each
        for (const charts::Chart chart : charts::kCharts) {
            const QString file = QDir(chartsDir).filePath(charts::chartFileName(chart));
            if (!charts::drawChart(chart, data, kChartWidth).save(file, "PNG")) {
                writeErr(QStringLiteral("framewright-cli: cannot write \"%1\"\n").arg(file));
                return kExitFailure;
            }
        }
    }
    switch (output) {
    case Output::List: {
        QString text;
        for (int32_t index : shown)
            text += db::solveListText(database->solves[size_t(index)]) + QLatin1Char('\n');
        writeOut(text);
        break;
    }
    case Output::Stats:
        writeOut(db::statsText(database->solves, shown) + QLatin1Char('\n'));
        break;
    case Output::Table:
        writeOut(db::solveTable(database->solves, shown, db::methodEntries().value(selection.method), includeMoves));
        break;
    case Output::None:
        break;
    }
    return kExitOk;
}

int runDbConvert(const QStringList &args)
{
    if (args.size() > 1)
        return usageError(QStringLiteral("db-convert takes at most one file"));
    const std::optional<QString> text = readInput(args.isEmpty() ? QString() : args.at(0));
    if (!text)
        return kExitFailure;
    QString error;
    const std::optional<QString> converted = db::convertWebTable(*text, &error);
    if (!converted) {
        writeErr(QStringLiteral("framewright-cli: cannot convert the solve table: %1\n").arg(error));
        return kExitFailure;
    }
    writeOut(*converted + QLatin1Char('\n'));
    return kExitOk;
}

}  // namespace

int main(int argc, char *argv[])
{
    // Drawing the charts needs fonts, so a GUI application; without a
    // display it draws offscreen. Every other command stays without one.
    bool drawsCharts = argc > 1 && std::strcmp(argv[1], "db") == 0;
    drawsCharts = drawsCharts && std::any_of(argv + 2, argv + argc, [](const char *a) { return std::strcmp(a, "--charts") == 0; });
    if (drawsCharts && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::unique_ptr<QCoreApplication> app =
        drawsCharts ? std::make_unique<QGuiApplication>(argc, argv) : std::make_unique<QCoreApplication>(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty())
        return usageError(QStringLiteral("no command given"));
    const QString command = args.takeFirst();
    if (command == QLatin1String("--help") || command == QLatin1String("-h")) {
        writeOut(QString::fromLatin1(kUsage));
        return kExitOk;
    }
    if (command == QLatin1String("--version")) {
        writeOut(QStringLiteral("framewright-cli " FRAMEWRIGHT_VERSION "\n"));
        return kExitOk;
    }
    if (command == QLatin1String("calc"))
        return runCalc(args);
    if (command == QLatin1String("db"))
        return runDb(args);
    if (command == QLatin1String("db-convert"))
        return runDbConvert(args);
    if (isVideoCommand(command))
        return runVideoCommand(command, args);
    return usageError(QStringLiteral("unknown command \"%1\"").arg(command));
}
