// The solve database analyser window, offscreen: the three ways to load, the
// solver box, every filter kind, the list, the summary, the charts following
// the current row, the solve tables on the clipboard (byte for byte the
// command line's), the web-table conversion, the solve page address, and
// files that fail to load.

#include "DBAnalyser.h"
#include "SolveDatabase.h"
#include "SolveList.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QInputDialog>
#include <QLabel>
#include <QLayout>
#include <QListWidget>
#include <QMimeData>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollArea>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <memory>

namespace {

// One generated solve. Its step marks are spread over its time, in seconds.
struct Solve
{
    const char *id;
    const char *puzzle;
    const char *time;
    const char *solver;
    const char *method;
    const char *pll;
    bool xcross;  // which of the two step templates it gets
};

// Eight solves: two equal times (s2, s6), one exactly 4 s (s4), one under a
// second that becomes the placeholder (s7), a solver whose name holds "[".
const Solve kSolves[] = {
    {"s1", "3x3", "7.50", "Alice", "CFOP", "T-perm", false},
    {"s2", "3x3", "5.20", "Carol", "CFOP", "Ua", true},
    {"s3", "OH", "12.00", "Alice", "CFOP", "Ua", false},
    {"s4", "3x3", "4.00", "Bob", "Roux", "", false},
    {"s5", "3x3", "3.90", "Carol", "CFOP", "Aa", true},
    {"s6", "OH", "5.20", "Zed [x]", "CFOP", "T perm", false},
    {"s7", "3x3", "0.5", "Bob", "ZZ", "", false},
    {"s8", "3x3", "9.10", "Alice", "CFOP", "Ua", true},
};

QString csvLine(const Solve &solve)
{
    static const char *const plainSteps[] = {"x2 D R' F D2 // cross", "U R U' R' // 1st pair", "y' R U R' // 2nd pair",
                                             "L' U' L // 3rd pair", "U2 R U R' // 4th pair", "F R U R' U' F' // OLL",
                                             "R U R' U' R' F R2 U' R' U' R U R' F' U // PLL"};
    static const char *const xcrossSteps[] = {"y2 F R D // xcross", "// 1st pair", "R U' R' // 2nd pair",
                                              "d R' U' R // 3rd pair", "U L' U L // 4th pair EOLS", "U2 // AUF",
                                              "U R2 U R U R' U' R' U' R' U R' U2 // EPLL"};
    static const double shares[] = {0.15, 0.3, 0.42, 0.56, 0.67, 0.79, 1.0};
    QStringList fields(47);
    fields[0] = QLatin1String(solve.id);
    fields[1] = QLatin1String(solve.puzzle);
    fields[2] = QLatin1String(solve.time);
    fields[4] = QLatin1String(solve.solver);
    fields[5] = QLatin1String(solve.method);
    fields[7] = QStringLiteral("2022-03-04");
    fields[15] = QStringLiteral("0");
    const double time = QByteArray(solve.time).toDouble();
    for (int k = 0; k < 7; ++k) {
        fields[16 + 2 * k] = QLatin1String(solve.xcross ? xcrossSteps[k] : plainSteps[k]);
        fields[17 + 2 * k] = QString::number(time * shares[k], 'f', 3);
    }
    fields[32] = QStringLiteral("Time");
    fields[35] = QString::number(solve.xcross ? 35 : 40);
    fields[42] = QStringLiteral("4");
    fields[44] = QStringLiteral("Dan");
    fields[46] = QLatin1String(solve.pll);
    return fields.join(u',');
}

QString header()
{
    QStringList fields{QStringLiteral("ID")};
    for (int i = 1; i < 47; ++i)
        fields.append(QStringLiteral("c%1").arg(i));
    return fields.join(u',');
}

bool writeText(const QString &path, const QString &text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text.toUtf8()) == text.toUtf8().size();
}

QString databaseText(qsizetype count = std::size(kSolves))
{
    QString text = header() + QLatin1Char('\n');
    for (qsizetype i = 0; i < count; ++i)
        text += csvLine(kSolves[i]) + QLatin1Char('\n');
    return text;
}

struct CliResult
{
    int exitCode = -1;
    QByteArray out;
};

CliResult runCli(const QStringList &args)
{
    QProcess process;
    process.start(QStringLiteral(FRAMEWRIGHT_CLI_PATH), args);
    if (!process.waitForStarted() || !process.waitForFinished(60000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput()};
}

QImage pictureOf(const QLabel *label)
{
    return label ? label->pixmap().toImage() : QImage();
}

}  // namespace

class TestDBAnalyser : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void form_namesTextsAndFonts();
    void beforeAnyLoad_filtersListNothing();
    void load_byTheLoadingFunction();
    void load_byDroppingACsvFile_data();
    void load_byDroppingACsvFile();
    void load_byReopen();
    void reopen_withoutAnEarlierFile_saysSo();
    void solverBox_byCountThenDescendingName();
    void solverBox_rebuiltOnLoad_otherBoxesKeepTheirChoice();
    void filterType_refillsTheParameterBox_data();
    void filterType_refillsTheParameterBox();
    void filters_data();
    void filters();
    void filters_byAnalysedFields_data();
    void filters_byAnalysedFields();
    void list_fastestFirstWithItsTexts();
    void summary_selectedAndFallBackToTheDatabase();
    void currentRow_marksTheChartsOnly();
    void clipboard_equalsTheCommandLineTable_data();
    void clipboard_equalsTheCommandLineTable();
    void solveTablesToDb_convertsTheClipboard();
    void solveTablesToDb_failureSaysWhyAndKeepsTheClipboard();
    void doubleClick_opensTheListedSolvesPage();
    void doubleClick_asksForTheSiteWhenNoneIsSet();
    void failingFile_keepsThePreviousDatabase_data();
    void failingFile_keepsThePreviousDatabase();
    void largeFile_showsTheLinesReadWhileTheWindowPaints();

private:
    // Loads `path` and waits for the load to end; the load's outcome.
    bool load(const QString &path);
    template<typename T>
    T *child(const char *name) const
    {
        return window->findChild<T *>(QLatin1String(name));
    }
    QStringList listTexts() const;
    QStringList listedIds() const;
    QList<QLabel *> chartLabels() const;
    void select(const char *box, int index);

    QTemporaryDir settingsDir;
    QTemporaryDir dataDir;
    QString databasePath;
    std::unique_ptr<DBAnalyser> window;
};

void TestDBAnalyser::initTestCase()
{
    QVERIFY(settingsDir.isValid() && dataDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    databasePath = dataDir.filePath(QStringLiteral("solves.csv"));
    QVERIFY(writeText(databasePath, databaseText()));
}

void TestDBAnalyser::init()
{
    QSettings(QStringLiteral("Marrowby"), QStringLiteral("DBAnalyser")).clear();
    window = std::make_unique<DBAnalyser>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestDBAnalyser::cleanup()
{
    window.reset();
}

bool TestDBAnalyser::load(const QString &path)
{
    QSignalSpy finished(window.get(), &DBAnalyser::loadFinished);
    if (!window->loadDatabase(path))
        return false;
    if (!finished.wait(20000) || finished.isEmpty())
        return false;
    return finished.first().first().toBool();
}

QStringList TestDBAnalyser::listTexts() const
{
    QStringList texts;
    const QListWidget *list = child<QListWidget>("solveList");
    for (int i = 0; i < list->count(); ++i)
        texts.append(list->item(i)->text());
    return texts;
}

QStringList TestDBAnalyser::listedIds() const
{
    QStringList ids;
    for (int32_t index : window->listedSolves())
        ids.append(window->loadedSolves()[size_t(index)].solveId);
    return ids;
}

QList<QLabel *> TestDBAnalyser::chartLabels() const
{
    QList<QLabel *> labels;
    QLayout *layout = child<QWidget>("scrollAreaWidgetContents")->layout();
    for (int i = 0; layout && i < layout->count(); ++i) {
        if (auto *label = qobject_cast<QLabel *>(layout->itemAt(i)->widget()))
            labels.append(label);
    }
    return labels;
}

void TestDBAnalyser::select(const char *box, int index)
{
    child<QComboBox>(box)->setCurrentIndex(index);
}

// ---- the form ----------------------------------------------------------------

void TestDBAnalyser::form_namesTextsAndFonts()
{
    QCOMPARE(window->objectName(), QStringLiteral("DBAnalyser"));
    QCOMPARE(window->windowTitle(), QStringLiteral("Solvebank Analyser"));
    struct Text
    {
        const char *name;
        const char *text;
    };
    for (const Text &t : {Text{"openButton", "Load DB"}, Text{"reopenButton", "reopen"},
                          Text{"solvesToDbButton", "Solve Tables to DB"}, Text{"clipboardButton", "to Clipboard"}}) {
        auto *button = child<QPushButton>(t.name);
        QVERIFY2(button, t.name);
        QCOMPARE(button->text(), QLatin1String(t.text));
        QCOMPARE(button->font().pointSize(), 9);
    }
    for (const Text &t : {Text{"label", "Puzzle"}, Text{"label_2", "Method"}, Text{"label_4", "Solver"},
                          Text{"label_3", "Filter"}}) {
        auto *label = child<QLabel>(t.name);
        QVERIFY2(label, t.name);
        QCOMPARE(label->text(), QLatin1String(t.text));
        QCOMPARE(label->font().pointSize(), 9);
    }
    struct Items
    {
        const char *name;
        QStringList items;
    };
    for (const Items &b : {Items{"puzzleCombo", {"Any", "3x3", "OH"}},
                           Items{"methodCombo", {"Any", "CFOP", "Roux", "ZZ", "Mehta", "Petrus"}},
                           Items{"solverCombo", {"All"}}, Items{"filterType", {"None", "Time", "Cross", "Skip", "PLL"}},
                           Items{"filterParam", {}}}) {
        auto *box = child<QComboBox>(b.name);
        QVERIFY2(box, b.name);
        QStringList texts;
        for (int i = 0; i < box->count(); ++i)
            texts.append(box->itemText(i));
        QCOMPARE(texts, b.items);
        QCOMPARE(box->font().pointSize(), 9);
    }
    auto *check = child<QCheckBox>("checkIncludeMoves");
    QVERIFY(check && check->isChecked());
    QCOMPARE(check->text(), QStringLiteral("Incl Move usage"));
    QCOMPARE(check->font().pointSize(), 9);
    QVERIFY(child<QLabel>("statsLabel")->text().isEmpty());
    auto *scroll = child<QScrollArea>("scrollArea");
    QVERIFY(scroll && scroll->widgetResizable());
    QCOMPARE(scroll->widget(), child<QWidget>("scrollAreaWidgetContents"));
    QVERIFY(window->findChild<QVBoxLayout *>(QStringLiteral("verticalLayout_3")));
    QVERIFY(window->acceptDrops());

    // The list and the charts share the width beyond the filter column.
    window->resize(764, 470);
    QTest::qWait(20);
    QVERIFY(qAbs(child<QWidget>("solveList")->width() - scroll->width()) <= 2);
}

void TestDBAnalyser::beforeAnyLoad_filtersListNothing()
{
    select("methodCombo", 1);
    QCOMPARE(child<QListWidget>("solveList")->count(), 0);
    QVERIFY2(child<QLabel>("statsLabel")->text().startsWith(QLatin1String("0 solves in DB")),
             qPrintable(child<QLabel>("statsLabel")->text()));
    QCOMPARE(chartLabels().size(), 6);
}

// ---- loading -------------------------------------------------------------------

void TestDBAnalyser::load_byTheLoadingFunction()
{
    QVERIFY(load(databasePath));
    QCOMPARE(window->loadedSolves().size(), std::size(kSolves));
    QCOMPARE(child<QListWidget>("solveList")->count(), int(std::size(kSolves)));
    QCOMPARE(QSettings(QStringLiteral("Marrowby"), QStringLiteral("DBAnalyser")).value(QStringLiteral("lastOpened")).toString(),
             databasePath);
}

void TestDBAnalyser::load_byDroppingACsvFile_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("csv") << "dropped.csv" << true;
    QTest::newRow("upper-case CSV") << "dropped.CSV" << false;
    QTest::newRow("text file") << "dropped.txt" << false;
}

void TestDBAnalyser::load_byDroppingACsvFile()
{
    QFETCH(QString, fileName);
    QFETCH(bool, accepted);
    const QString path = dataDir.filePath(fileName);
    QVERIFY(writeText(path, databaseText(3)));

    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(path)});
    const QPoint at = window->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    enter.setAccepted(false);
    QApplication::sendEvent(window.get(), &enter);
    QCOMPARE(enter.isAccepted(), accepted);
    if (!accepted)
        return;

    QSignalSpy finished(window.get(), &DBAnalyser::loadFinished);
    QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &drop);
    QVERIFY(drop.isAccepted());
    QVERIFY(finished.wait(20000));
    QCOMPARE(finished.first().first().toBool(), true);
    QCOMPARE(listedIds(), (QStringList{"s2", "s1", "s3"}));
}

void TestDBAnalyser::load_byReopen()
{
    const QString path = dataDir.filePath(QStringLiteral("reopened.csv"));
    QVERIFY(writeText(path, databaseText(2)));
    QSettings(QStringLiteral("Marrowby"), QStringLiteral("DBAnalyser")).setValue(QStringLiteral("lastOpened"), path);
    QSignalSpy finished(window.get(), &DBAnalyser::loadFinished);
    QTest::mouseClick(child<QPushButton>("reopenButton"), Qt::LeftButton);
    QVERIFY(finished.wait(20000));
    QCOMPARE(listedIds(), (QStringList{"s2", "s1"}));
}

void TestDBAnalyser::reopen_withoutAnEarlierFile_saysSo()
{
    QSignalSpy finished(window.get(), &DBAnalyser::loadFinished);
    QTest::mouseClick(child<QPushButton>("reopenButton"), Qt::LeftButton);
    QVERIFY(!window->isLoading());
    QVERIFY(!child<QLabel>("statsLabel")->text().isEmpty());
    QCOMPARE(finished.size(), 0);
}

void TestDBAnalyser::solverBox_byCountThenDescendingName()
{
    QVERIFY(load(databasePath));
    const QComboBox *box = child<QComboBox>("solverCombo");
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts.append(box->itemText(i));
    QCOMPARE(texts, (QStringList{"All", "Alice [3]", "Carol [2]", "Bob [2]", "Zed [x] [1]"}));
    QCOMPARE(box->currentIndex(), 0);
}

void TestDBAnalyser::solverBox_rebuiltOnLoad_otherBoxesKeepTheirChoice()
{
    QVERIFY(load(databasePath));
    select("solverCombo", 2);
    select("puzzleCombo", 1);
    select("filterType", 1);
    select("filterParam", 6);  // Sub10
    QCOMPARE(listedIds(), (QStringList{"s5", "s2"}));

    const QString other = dataDir.filePath(QStringLiteral("other.csv"));
    QVERIFY(writeText(other, databaseText(4)));
    QVERIFY(load(other));
    QCOMPARE(child<QComboBox>("solverCombo")->currentIndex(), 0);
    QCOMPARE(child<QComboBox>("solverCombo")->count(), 4);  // All, Alice, Carol, Bob
    QCOMPARE(child<QComboBox>("puzzleCombo")->currentIndex(), 1);
    QCOMPARE(child<QComboBox>("filterType")->currentIndex(), 1);
    QCOMPARE(child<QComboBox>("filterParam")->currentIndex(), 6);
    // 3x3 under 10 s of s1 to s4, every solver.
    QCOMPARE(listedIds(), (QStringList{"s4", "s2", "s1"}));
}

// ---- filters and list ------------------------------------------------------------

void TestDBAnalyser::filterType_refillsTheParameterBox_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QStringList>("entries");
    QTest::newRow("None") << 0 << QStringList();
    QTest::newRow("Time") << 1
                          << QStringList{"Sub4", "Sub5", "Sub6", "Sub7", "Sub8", "Sub9", "Sub10", "Sup10"};
    QTest::newRow("Cross") << 2 << QStringList{"Cross", "XCross", "XXCross", "Other"};
    QTest::newRow("Skip") << 3 << QStringList{"OLL", "PLL", "Last Layer"};
    QTest::newRow("PLL") << 4
                         << QStringList{"Aa", "Ab", "E",  "F",  "Ga", "Gb", "Gc", "Gd", "H",  "Ja", "Jb",
                                        "Na", "Nb", "Ra", "Rb", "T",  "Ua", "Ub", "V",  "Y",  "Z"};
}

void TestDBAnalyser::filterType_refillsTheParameterBox()
{
    QFETCH(int, type);
    QFETCH(QStringList, entries);
    QVERIFY(load(databasePath));
    // Start from another type so that every row changes the box.
    select("filterType", type == 3 ? 2 : 3);
    auto *param = child<QComboBox>("filterParam");
    QSignalSpy paramChanged(param, &QComboBox::currentIndexChanged);
    select("filterType", type);
    QStringList texts;
    for (int i = 0; i < param->count(); ++i)
        texts.append(param->itemText(i));
    QCOMPARE(texts, entries);
    QCOMPARE(param->currentIndex(), entries.isEmpty() ? -1 : 0);
    // Refilled with its signals blocked: the list is updated by UpdateFilters alone.
    QCOMPARE(paramChanged.size(), 0);
}

void TestDBAnalyser::filters_data()
{
    QTest::addColumn<int>("puzzle");
    QTest::addColumn<int>("method");
    QTest::addColumn<int>("solver");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("param");
    QTest::addColumn<QStringList>("ids");
    const QStringList all{"s5", "s4", "s2", "s6", "s1", "s8", "s3", "s7"};
    QTest::newRow("every box at its first entry") << 0 << 0 << 0 << 0 << 0 << all;
    QTest::newRow("puzzle 3x3") << 1 << 0 << 0 << 0 << 0 << QStringList{"s5", "s4", "s2", "s1", "s8", "s7"};
    QTest::newRow("puzzle OH") << 2 << 0 << 0 << 0 << 0 << QStringList{"s6", "s3"};
    QTest::newRow("method CFOP") << 0 << 1 << 0 << 0 << 0 << QStringList{"s5", "s2", "s6", "s1", "s8", "s3"};
    QTest::newRow("method Roux") << 0 << 2 << 0 << 0 << 0 << QStringList{"s4"};
    QTest::newRow("method ZZ") << 0 << 3 << 0 << 0 << 0 << QStringList{"s7"};
    QTest::newRow("method Petrus: nothing") << 0 << 5 << 0 << 0 << 0 << QStringList();
    QTest::newRow("solver Alice") << 0 << 0 << 1 << 0 << 0 << QStringList{"s1", "s8", "s3"};
    QTest::newRow("solver Bob (after Carol)") << 0 << 0 << 3 << 0 << 0 << QStringList{"s4", "s7"};
    QTest::newRow("solver with a bracket") << 0 << 0 << 4 << 0 << 0 << QStringList{"s6"};
    QTest::newRow("Sub4: 4.000 s is out") << 0 << 0 << 0 << 1 << 0 << QStringList{"s5"};
    QTest::newRow("Sub5: 4.000 s is in") << 0 << 0 << 0 << 1 << 1 << QStringList{"s5", "s4"};
    QTest::newRow("Sub10") << 0 << 0 << 0 << 1 << 6 << QStringList{"s5", "s4", "s2", "s6", "s1", "s8"};
    QTest::newRow("Sup10: real times only") << 0 << 0 << 0 << 1 << 7 << QStringList{"s3"};
    QTest::newRow("PLL Ua") << 0 << 0 << 0 << 4 << 16 << QStringList{"s2", "s8", "s3"};
    QTest::newRow("PLL T, both spellings") << 0 << 0 << 0 << 4 << 15 << QStringList{"s6", "s1"};
    QTest::newRow("PLL Aa") << 0 << 0 << 0 << 4 << 0 << QStringList{"s5"};
    QTest::newRow("3x3 CFOP by Carol") << 1 << 1 << 2 << 0 << 0 << QStringList{"s5", "s2"};
    QTest::newRow("OH Ua") << 2 << 0 << 0 << 4 << 16 << QStringList{"s3"};
}

void TestDBAnalyser::filters()
{
    QFETCH(int, puzzle);
    QFETCH(int, method);
    QFETCH(int, solver);
    QFETCH(int, type);
    QFETCH(int, param);
    QFETCH(QStringList, ids);
    QVERIFY(load(databasePath));
    select("puzzleCombo", puzzle);
    select("methodCombo", method);
    select("solverCombo", solver);
    select("filterType", type);
    select("filterParam", param);
    QCOMPARE(listedIds(), ids);
    QCOMPARE(child<QListWidget>("solveList")->count(), int(ids.size()));
}

void TestDBAnalyser::filters_byAnalysedFields_data()
{
    // Cross type and skips come out of the CFOP analysis: the expected solves
    // are read off the loaded records, by the rule each entry states.
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("param");
    QTest::newRow("Cross") << 2 << 0;
    QTest::newRow("XCross") << 2 << 1;
    QTest::newRow("Skip OLL") << 3 << 0;
    QTest::newRow("Skip PLL") << 3 << 1;
    QTest::newRow("Skip Last Layer") << 3 << 2;
}

void TestDBAnalyser::filters_byAnalysedFields()
{
    QFETCH(int, type);
    QFETCH(int, param);
    QVERIFY(load(databasePath));
    select("filterType", type);
    select("filterParam", param);
    QStringList expected;
    const QStringList byTime{"s5", "s4", "s2", "s6", "s1", "s8", "s3", "s7"};
    for (const QString &id : byTime) {
        for (const cube::SolveRecord &r : window->loadedSolves()) {
            if (r.solveId != id)
                continue;
            const bool keep = type == 2 ? r.crossType == param
                                        : (param == 2 ? r.llSkips == 3 : (r.llSkips & (1 << param)) != 0);
            if (keep)
                expected.append(id);
        }
    }
    QCOMPARE(listedIds(), expected);
    if (type == 2 && param == 0)
        QVERIFY2(expected.contains(QLatin1String("s4")), "a Roux solve has cross type 0 and is listed");
}

void TestDBAnalyser::list_fastestFirstWithItsTexts()
{
    QVERIFY(load(databasePath));
    QCOMPARE(listTexts(), (QStringList{
                              "3.900s\tCarol (3x3 CFOP)",
                              "4.000s\tBob (3x3 Roux)",
                              "5.200s\tCarol (3x3 CFOP)",
                              "5.200s\tZed [x] (OH CFOP)",
                              "7.500s\tAlice (3x3 CFOP)",
                              "9.100s\tAlice (3x3 CFOP)",
                              "12.000s\tAlice (OH CFOP)",
                              "99.990s\tBob (3x3 ZZ)",
                          }));
    // Equal times in file order: s2 before s6.
    QCOMPARE(listedIds().mid(2, 2), (QStringList{"s2", "s6"}));
    QCOMPARE(child<QListWidget>("solveList")->currentRow(), -1);
}

void TestDBAnalyser::summary_selectedAndFallBackToTheDatabase()
{
    QVERIFY(load(databasePath));
    const QLabel *stats = child<QLabel>("statsLabel");
    // The placeholder time of s7 is counted, not averaged: 46.9 s / 7.
    QCOMPARE(stats->text(), QStringLiteral("8 solves selected (6.700s avg)"));
    select("puzzleCombo", 2);
    QCOMPARE(stats->text(), QStringLiteral("2 solves selected (8.600s avg)"));
    select("methodCombo", 2);  // OH Roux: no solve
    QCOMPARE(child<QListWidget>("solveList")->count(), 0);
    QCOMPARE(stats->text(), QStringLiteral("8 solves in DB (6.700s avg)"));
}

void TestDBAnalyser::currentRow_marksTheChartsOnly()
{
    QVERIFY(load(databasePath));
    QList<QLabel *> labels = chartLabels();
    QCOMPARE(labels.size(), 6);
    for (QLabel *label : labels)
        QVERIFY(!pictureOf(label).isNull());
    QCOMPARE(pictureOf(labels[0]).size(), QSize(250, 60) * window->devicePixelRatioF());
    QCOMPARE(pictureOf(labels[3]).size(), QSize(250, 250) * window->devicePixelRatioF());
    QCOMPARE(pictureOf(labels[4]).size(), QSize(250, 187) * window->devicePixelRatioF());

    const QImage unmarked = pictureOf(labels[0]);
    const QString summary = child<QLabel>("statsLabel")->text();
    auto *list = child<QListWidget>("solveList");
    QListWidgetItem *first = list->item(0);

    list->setCurrentRow(0);
    const QImage markedFirst = pictureOf(chartLabels()[0]);
    QVERIFY2(markedFirst != unmarked, "the TIMES chart does not mark the current solve");
    list->setCurrentRow(6);
    const QImage markedSeventh = pictureOf(chartLabels()[0]);
    QVERIFY(markedSeventh != markedFirst);
    QVERIFY2(pictureOf(chartLabels()[4]) != unmarked, "scatter");

    // The summary and the list are as they were.
    QCOMPARE(child<QLabel>("statsLabel")->text(), summary);
    QCOMPARE(list->item(0), first);
    QCOMPARE(list->count(), int(std::size(kSolves)));
    QCOMPARE(chartLabels().size(), 6);
}

// ---- solve tables ----------------------------------------------------------------

void TestDBAnalyser::clipboard_equalsTheCommandLineTable_data()
{
    QTest::addColumn<int>("puzzle");
    QTest::addColumn<int>("method");
    QTest::addColumn<bool>("includeMoves");
    QTest::addColumn<QStringList>("cliArgs");
    QTest::newRow("Any, with moves") << 0 << 0 << true << QStringList{};
    QTest::newRow("CFOP, with moves") << 0 << 1 << true << QStringList{"--method", "CFOP"};
    QTest::newRow("Roux, without moves") << 0 << 2 << false << QStringList{"--method", "Roux", "--no-moves"};
    QTest::newRow("OH CFOP, without moves") << 2 << 1 << false
                                            << QStringList{"--puzzle", "OH", "--method", "CFOP", "--no-moves"};
    QTest::newRow("nothing listed: every solve") << 2 << 3 << true << QStringList{"--puzzle", "OH", "--method", "ZZ"};
}

void TestDBAnalyser::clipboard_equalsTheCommandLineTable()
{
    QFETCH(int, puzzle);
    QFETCH(int, method);
    QFETCH(bool, includeMoves);
    QFETCH(QStringList, cliArgs);
    QVERIFY(load(databasePath));
    select("puzzleCombo", puzzle);
    select("methodCombo", method);
    child<QCheckBox>("checkIncludeMoves")->setChecked(includeMoves);
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    QTest::mouseClick(child<QPushButton>("clipboardButton"), Qt::LeftButton);

    const CliResult cli = runCli(QStringList{QStringLiteral("db"), databasePath} + cliArgs + QStringList{"--table"});
    QCOMPARE(cli.exitCode, 0);
    const QByteArray copied = QGuiApplication::clipboard()->text().toUtf8();
    const size_t rows = window->listedSolves().empty() ? std::size(kSolves) : window->listedSolves().size();
    QCOMPARE(copied.count('\n'), qsizetype(1 + rows));
    QCOMPARE(copied, cli.out);
}

void TestDBAnalyser::solveTablesToDb_convertsTheClipboard()
{
    QGuiApplication::clipboard()->setText(QStringLiteral(
        "Title\n\nR U\nR' U'\nF B\nL D U\nD2 R\nU R2\nB' F'\nStep\tTime\nnames\nA\t0.5\nB\t1\nC\t1.5\nD\t0.25\nE\t0.25\nF\t0.5\n"));
    QTest::mouseClick(child<QPushButton>("solvesToDbButton"), Qt::LeftButton);
    QCOMPARE(QGuiApplication::clipboard()->text(),
             QStringLiteral("Title\tR U\t0\tR' U'\t0.500\tF B\t1.500\tL D U\t3.000\tD2 R\t3.250\tU R2\t3.500\tB' F'"
                            "\t4.000\t\t0\t\t0\tTime\t30\t\t13"));
}

void TestDBAnalyser::solveTablesToDb_failureSaysWhyAndKeepsTheClipboard()
{
    const QString copied = QStringLiteral("not a solve table\nat all\n");
    QGuiApplication::clipboard()->setText(copied);
    QTest::mouseClick(child<QPushButton>("solvesToDbButton"), Qt::LeftButton);
    QCOMPARE(QGuiApplication::clipboard()->text(), copied);
    QVERIFY2(child<QLabel>("statsLabel")->text().contains(QLatin1String("Cannot convert")),
             qPrintable(child<QLabel>("statsLabel")->text()));
}

// ---- solve pages -------------------------------------------------------------------

void TestDBAnalyser::doubleClick_opensTheListedSolvesPage()
{
    QSettings(QStringLiteral("Marrowby"), QStringLiteral("DBAnalyser"))
        .setValue(QLatin1String(db::kSolvePageSiteKey), QStringLiteral("https://solves.example"));
    QList<QUrl> opened;
    window->setUrlOpener([&opened](const QUrl &url) {
        opened.append(url);
        return true;
    });
    QVERIFY(load(databasePath));
    auto *list = child<QListWidget>("solveList");
    const QRect third = list->visualItemRect(list->item(2));
    QVERIFY(!third.isEmpty());
    // As a mouse does it: a click, then the second press that makes it double.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, third.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, third.center());
    // The third listed solve is s2 (5.20 s); the file's third is s3.
    QCOMPARE(opened, (QList<QUrl>{QUrl(QStringLiteral("https://solves.example/r/s2"))}));

    // Below the last row nothing is double-clicked.
    opened.clear();
    const QPoint below(5, list->visualItemRect(list->item(list->count() - 1)).bottom() + 20);
    QVERIFY(list->viewport()->rect().contains(below));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, below);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, below);
    QVERIFY(opened.isEmpty());
}

void TestDBAnalyser::doubleClick_asksForTheSiteWhenNoneIsSet()
{
    QList<QUrl> opened;
    window->setUrlOpener([&opened](const QUrl &url) {
        opened.append(url);
        return true;
    });
    QVERIFY(load(databasePath));
    bool asked = false;
    QTimer::singleShot(0, this, [&asked]() {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *dialog = qobject_cast<QInputDialog *>(w); dialog && dialog->isVisible()) {
                asked = true;
                dialog->setTextValue(QStringLiteral("https://asked.example"));
                dialog->accept();
            }
        }
    });
    auto *list = child<QListWidget>("solveList");
    window->on_solveList_itemDoubleClicked(list->item(0));
    QVERIFY(asked);
    QCOMPARE(opened, (QList<QUrl>{QUrl(QStringLiteral("https://asked.example/r/s5"))}));
    QCOMPARE(QSettings(QStringLiteral("Marrowby"), QStringLiteral("DBAnalyser"))
                 .value(QLatin1String(db::kSolvePageSiteKey))
                 .toString(),
             QStringLiteral("https://asked.example"));
}

// ---- files that do not load ----------------------------------------------------------

void TestDBAnalyser::failingFile_keepsThePreviousDatabase_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("content");  // null: no such file
    QTest::addColumn<QString>("message");
    QTest::newRow("missing file") << "missing.csv" << QString() << "Cannot open";
    QTest::newRow("header only") << "header.csv" << header() + QLatin1Char('\n') << "No solve line";
    QTest::newRow("empty file") << "empty.csv" << QStringLiteral("") << "No solve line";
    QTest::newRow("short lines") << "short.csv" << QStringLiteral("a,b,c\nd,e\n") << "No solve line";
}

void TestDBAnalyser::failingFile_keepsThePreviousDatabase()
{
    QFETCH(QString, fileName);
    QFETCH(QString, content);
    QFETCH(QString, message);
    const QString path = dataDir.filePath(fileName);
    if (!content.isNull())
        QVERIFY(writeText(path, content));

    QVERIFY(load(databasePath));
    select("puzzleCombo", 2);
    const QStringList texts = listTexts();
    QCOMPARE(texts.size(), 2);
    QVERIFY(!load(path));
    QVERIFY2(child<QLabel>("statsLabel")->text().contains(message), qPrintable(child<QLabel>("statsLabel")->text()));
    QVERIFY2(child<QLabel>("statsLabel")->text().contains(fileName), "the message names the file");
    QCOMPARE(window->loadedSolves().size(), std::size(kSolves));
    QCOMPARE(listTexts(), texts);
    QCOMPARE(child<QComboBox>("solverCombo")->count(), 5);
    // "reopen" still finds the file that loaded.
    QCOMPARE(QSettings(QStringLiteral("Marrowby"), QStringLiteral("DBAnalyser")).value(QStringLiteral("lastOpened")).toString(),
             databasePath);
}

void TestDBAnalyser::largeFile_showsTheLinesReadWhileTheWindowPaints()
{
    // Enough lines that reading takes about two seconds on this machine and
    // build: a fixed count is far too many under the sanitizers on a slow
    // machine and too few once the parser gets faster.
    const QString line = csvLine(kSolves[0]) + QLatin1Char('\n');
    QElapsedTimer sample;
    sample.start();
    const int sampleLines = 3000;
    QCOMPARE(db::parseDatabase(line.repeated(sampleLines), QLatin1Char(',')).solves.size(), size_t(sampleLines));
    const qint64 sampleNs = std::max<qint64>(sample.nsecsElapsed(), 1);
    const int lines = int(std::clamp<qint64>(2'000'000'000LL * sampleLines / sampleNs, 5000, 400000));
    const QString path = dataDir.filePath(QStringLiteral("large.csv"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        const QByteArray bytes = line.toUtf8();
        for (int i = 0; i < lines; ++i)
            file.write(bytes);
    }
    QSignalSpy finished(window.get(), &DBAnalyser::loadFinished);
    QElapsedTimer timer;
    timer.start();
    QVERIFY(window->loadDatabase(path));
    // Loading runs elsewhere: this thread is back at once.
    QVERIFY2(timer.elapsed() < 200, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(!window->loadDatabase(databasePath));  // one load at a time

    QString progressText;
    qint64 longestGapMs = 0;
    qint64 last = timer.elapsed();
    while (finished.isEmpty() && timer.elapsed() < 100000) {
        QTest::qWait(20);
        // While reading; what the window does with the result is measured apart.
        if (finished.isEmpty())
            longestGapMs = std::max(longestGapMs, timer.elapsed() - last);
        last = timer.elapsed();
        if (auto *progress = window->findChild<QProgressDialog *>(); progress && progress->isVisible())
            progressText = progress->labelText();
    }
    QCOMPARE(finished.size(), 1);
    QVERIFY2(timer.elapsed() > 600, "the file loaded too fast to see the progress dialog");
    QVERIFY2(progressText.contains(QLatin1String("lines read")), qPrintable(progressText));
    QVERIFY2(longestGapMs < 1000, qPrintable(QStringLiteral("the window was blocked for %1 ms").arg(longestGapMs)));
    QCOMPARE(window->loadedSolves().size(), size_t(lines));
    QTRY_VERIFY(!window->findChild<QProgressDialog *>());
}

QTEST_MAIN(TestDBAnalyser)
#include "tst_dbanalyser.moc"
