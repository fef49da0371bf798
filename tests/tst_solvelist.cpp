// Filters, list order, list texts and the summary line.

#include "SolveList.h"

#include <QTest>

#include <cmath>

namespace {

cube::SolveRecord solve(const QString &solver, const QString &puzzle, const QString &method, float time,
                        int32_t crossType = 0, int32_t llSkips = 0, const QString &pllAlg = QString())
{
    cube::SolveRecord record;
    record.solver = solver;
    record.puzzle = puzzle;
    record.method = method;
    record.time = time;
    record.crossType = crossType;
    record.llSkips = llSkips;
    record.pllAlg = pllAlg;
    return record;
}

// Sorted by time: 3 (3.99), 1 (4.0), 7 (5.0), 0 and 5 (7.5, file order),
// 6 (10.0), 2 (12.0), 4 (placeholder).
std::vector<cube::SolveRecord> database()
{
    return {
        solve("Anna", "3x3", "CFOP", 7.5f, 0, 0, "Ua"),          // 0
        solve("Bob", "3x3", "Roux", 4.0f, 0, 1),                 // 1
        solve("Anna", "OH", "CFOP", 12.0f, 1, 2, "ub-perm"),     // 2
        solve("Carl [x]", "3x3", "CFOP", 3.99f, 2, 3, "Ua perm"),// 3
        solve("Bob", "3x3", "ZZ", cube::kPlaceholderTime, 0, 0, "T"),  // 4
        solve("Anna", "3x3", "CFOP", 7.5f, 3, 0, "UA-Perm"),     // 5
        solve("Dora", "3x3", "CFOP", 10.0f, 0, 1, "Ub"),         // 6
        solve("Eve", "3x3", "Mehta", 5.0f, 1, 7, "Ua-perm (ccw)"),  // 7
    };
}

db::FilterSelection typed(db::FilterType type, int position)
{
    db::FilterSelection selection;
    selection.filterType = type;
    selection.filterParam = position;
    return selection;
}

// The position of `entry` in the entries of `type` (-1 when it is none of them).
int position(db::FilterType type, const QString &entry)
{
    return int(db::filterParamEntries(type).indexOf(entry));
}

db::FilterSelection typed(db::FilterType type, const QString &entry)
{
    return typed(type, position(type, entry));
}

std::vector<cube::SolveRecord> timed(const QList<float> &times)
{
    std::vector<cube::SolveRecord> solves;
    for (const float time : times)
        solves.push_back(solve("S", "3x3", "CFOP", time));
    return solves;
}

std::vector<int32_t> indices(const QList<int> &list)
{
    return std::vector<int32_t>(list.begin(), list.end());
}

}  // namespace

Q_DECLARE_METATYPE(db::FilterSelection)

class TestSolveList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void filterParamEntries_data();
    void filterParamEntries();
    void solverNameFromEntry_data();
    void solverNameFromEntry();
    void filterSolves_data();
    void filterSolves();
    void filterSolves_emptyDatabase();
    void filterSolves_manyEqualTimes();
    void solveListText_data();
    void solveListText();
    void solveListTexts();
    void statsText_data();
    void statsText();
    void fixedText_data();
    void fixedText();
    void solvePageAddress_data();
    void solvePageAddress();
};

void TestSolveList::filterParamEntries_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("Time") << "Time"
                          << QStringList({"Sub4", "Sub5", "Sub6", "Sub7", "Sub8", "Sub9", "Sub10", "Sup10"});
    QTest::newRow("Cross") << "Cross" << QStringList({"Cross", "XCross", "XXCross", "Other"});
    QTest::newRow("Skip") << "Skip" << QStringList({"OLL", "PLL", "Last Layer"});
    QTest::newRow("PLL") << "PLL"
                         << QStringList({"Aa", "Ab", "E", "F", "Ga", "Gb", "Gc", "Gd", "H", "Ja", "Jb", "Na", "Nb",
                                         "Ra", "Rb", "T", "Ua", "Ub", "V", "Y", "Z"});
    QTest::newRow("None") << "None" << QStringList();
    QTest::newRow("unknown type: names are case-sensitive") << "time" << QStringList();
}

void TestSolveList::filterParamEntries()
{
    // The type box's text names the kind; the kind gives the entries.
    QFETCH(QString, type);
    QFETCH(QStringList, expected);
    const std::optional<db::FilterType> kind = db::filterTypeNamed(type);
    QCOMPARE(kind.has_value(), db::filterTypeEntries().contains(type));
    if (kind)
        QCOMPARE(int(*kind), int(db::filterTypeEntries().indexOf(type)));
    QCOMPARE(kind ? db::filterParamEntries(*kind) : QStringList(), expected);
}

void TestSolveList::solverNameFromEntry_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("expected");
    QTest::newRow("name and count") << "Anna [12]" << "Anna";
    QTest::newRow("bracket inside the name") << "Carl [x] [1]" << "Carl [x]";
    QTest::newRow("empty name") << " [3]" << "";
    QTest::newRow("the character before the bracket always goes") << "Bob[3]" << "Bo";
    QTest::newRow("no bracket") << "Anna" << "Anna";
}

void TestSolveList::solverNameFromEntry()
{
    QFETCH(QString, entry);
    QFETCH(QString, expected);
    QCOMPARE(db::solverNameFromEntry(entry), expected);
}

void TestSolveList::filterSolves_data()
{
    QTest::addColumn<db::FilterSelection>("selection");
    QTest::addColumn<QList<int>>("expected");

    db::FilterSelection all;
    QTest::newRow("no filter: fastest first, ties in file order") << all << QList<int>{3, 1, 7, 0, 5, 6, 2, 4};
    db::FilterSelection unset;
    unset.puzzle = unset.method = -1;  // boxes without a current entry
    QTest::newRow("no current entry filters nothing") << unset << QList<int>{3, 1, 7, 0, 5, 6, 2, 4};
    unset.puzzle = unset.method = 99;
    QTest::newRow("positions past the entries filter nothing") << unset << QList<int>{3, 1, 7, 0, 5, 6, 2, 4};

    using Type = db::FilterType;
    db::FilterSelection s;
    s.puzzle = int(db::puzzleEntries().indexOf("OH"));
    QTest::newRow("puzzle OH") << s << QList<int>{2};
    s = {};
    s.method = int(db::methodEntries().indexOf("CFOP"));
    QTest::newRow("method CFOP") << s << QList<int>{3, 0, 5, 6, 2};
    s = {};
    s.solver = "Anna";
    QTest::newRow("solver") << s << QList<int>{0, 5, 2};
    s.solver = db::solverNameFromEntry("Carl [x] [1]");
    QTest::newRow("solver with a bracket in the name") << s << QList<int>{3};
    s.solver = "Ann";
    QTest::newRow("solver must match exactly") << s << QList<int>{};

    QTest::newRow("Sub4 is strictly below 4") << typed(Type::Time, "Sub4") << QList<int>{3};
    QTest::newRow("Sub5 includes 4.0") << typed(Type::Time, "Sub5") << QList<int>{3, 1};
    QTest::newRow("Sub10 excludes 10.0") << typed(Type::Time, "Sub10") << QList<int>{3, 1, 7, 0, 5};
    QTest::newRow("Sup10: 10 s or more, not the placeholder") << typed(Type::Time, "Sup10") << QList<int>{6, 2};
    QTest::newRow("time position past the entries") << typed(Type::Time, 8) << QList<int>{};
    QTest::newRow("typed filter without parameter") << typed(Type::Time, -1) << QList<int>{};
    QTest::newRow("parameter ignored without type") << typed(Type::None, 0) << QList<int>{3, 1, 7, 0, 5, 6, 2, 4};

    QTest::newRow("Cross lists every method") << typed(Type::Cross, "Cross") << QList<int>{1, 0, 6, 4};
    QTest::newRow("XCross") << typed(Type::Cross, "XCross") << QList<int>{7, 2};
    QTest::newRow("Other") << typed(Type::Cross, "Other") << QList<int>{5};
    s = typed(Type::Cross, "Cross");
    s.method = int(db::methodEntries().indexOf("CFOP"));
    QTest::newRow("Cross with method CFOP") << s << QList<int>{0, 6};

    QTest::newRow("OLL skip: bit 0") << typed(Type::Skip, "OLL") << QList<int>{3, 1, 7, 6};
    QTest::newRow("PLL skip: bit 1") << typed(Type::Skip, "PLL") << QList<int>{3, 7, 2};
    QTest::newRow("Last Layer: exactly both bits") << typed(Type::Skip, "Last Layer") << QList<int>{3};

    QTest::newRow("PLL Ua: any case, -perm and words dropped") << typed(Type::Pll, "Ua") << QList<int>{3, 7, 0, 5};
    QTest::newRow("PLL Ub") << typed(Type::Pll, "Ub") << QList<int>{6, 2};
    QTest::newRow("PLL T") << typed(Type::Pll, "T") << QList<int>{4};
    QTest::newRow("PLL position past the names") << typed(Type::Pll, 21) << QList<int>{};

    s = typed(Type::Time, "Sub10");
    s.puzzle = int(db::puzzleEntries().indexOf("3x3"));
    s.method = int(db::methodEntries().indexOf("CFOP"));
    s.solver = "Anna";
    QTest::newRow("all boxes together") << s << QList<int>{0, 5};
}

void TestSolveList::filterSolves()
{
    QFETCH(db::FilterSelection, selection);
    QFETCH(QList<int>, expected);
    QCOMPARE(db::filterSolves(database(), selection), indices(expected));
}

void TestSolveList::filterSolves_emptyDatabase()
{
    QCOMPARE(db::filterSolves({}, typed(db::FilterType::Time, "Sub4")), std::vector<int32_t>());
}

void TestSolveList::filterSolves_manyEqualTimes()
{
    // Enough solves for the sort to leave its small-range path: each time
    // class must still list its solves in file order.
    QList<float> times;
    std::vector<int32_t> expected[3];
    for (int i = 0; i < 90; ++i) {
        const int group = (i * 7) % 3;
        times.append(5.0f + group);
        expected[group].push_back(i);
    }
    std::vector<int32_t> order = expected[0];
    order.insert(order.end(), expected[1].begin(), expected[1].end());
    order.insert(order.end(), expected[2].begin(), expected[2].end());
    QCOMPARE(db::filterSolves(timed(times), {}), order);
}

void TestSolveList::solveListText_data()
{
    QTest::addColumn<float>("time");
    QTest::addColumn<QString>("solver");
    QTest::addColumn<QString>("expected");
    QTest::newRow("three decimals") << 7.5f << "Max" << "7.500s\tMax (3x3 CFOP)";
    QTest::newRow("rounded") << 12.3456f << "Max" << "12.346s\tMax (3x3 CFOP)";
    QTest::newRow("placeholder") << cube::kPlaceholderTime << "Max" << "99.990s\tMax (3x3 CFOP)";
    QTest::newRow("empty solver") << 8.0f << "" << "8.000s\t (3x3 CFOP)";
    QTest::newRow("not a number prints 0") << float(NAN) << "Max" << "0.000s\tMax (3x3 CFOP)";
}

void TestSolveList::solveListText()
{
    QFETCH(float, time);
    QFETCH(QString, solver);
    QFETCH(QString, expected);
    QCOMPARE(db::solveListText(solve(solver, "3x3", "CFOP", time)), expected);
}

void TestSolveList::solveListTexts()
{
    const std::vector<cube::SolveRecord> solves = timed({5.0f, 6.0f, 7.0f});
    // List order, not file order; an index listed twice appears twice.
    QCOMPARE(db::solveListTexts(solves, {2, 0, 1}),
             QStringList({"7.000s\tS (3x3 CFOP)", "5.000s\tS (3x3 CFOP)", "6.000s\tS (3x3 CFOP)"}));
    QCOMPARE(db::solveListTexts(solves, {2, 9, 0, 2, -1}),
             QStringList({"7.000s\tS (3x3 CFOP)", "5.000s\tS (3x3 CFOP)", "7.000s\tS (3x3 CFOP)"}));
}

void TestSolveList::statsText_data()
{
    QTest::addColumn<QList<float>>("times");
    QTest::addColumn<QList<int>>("shown");
    QTest::addColumn<QString>("expected");
    const float p = cube::kPlaceholderTime;
    QTest::newRow("nothing listed: whole database, placeholder left out")
        << QList<float>{7.0f, 8.0f, p} << QList<int>{} << "3 solves in DB (7.500s avg)";
    QTest::newRow("listed solves only") << QList<float>{7.0f, 8.0f, p} << QList<int>{2, 1}
                                        << "2 solves selected (8.000s avg)";
    QTest::newRow("twelve solves") << QList<float>(12, 8.1234f) << QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}
                                   << "12 solves selected (8.123s avg)";
    QTest::newRow("listed placeholder only") << QList<float>{7.0f, p} << QList<int>{1}
                                             << "1 solves selected (no times)";
    QTest::newRow("database of placeholders") << QList<float>{p, p} << QList<int>{} << "2 solves in DB (no times)";
    QTest::newRow("empty database") << QList<float>{} << QList<int>{} << "0 solves in DB (no times)";
}

void TestSolveList::statsText()
{
    QFETCH(QList<float>, times);
    QFETCH(QList<int>, shown);
    QFETCH(QString, expected);
    QCOMPARE(db::statsText(timed(times), indices(shown)), expected);
}

void TestSolveList::fixedText_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QString>("expected");
    QTest::newRow("pads with zeros") << 1.0 << 3 << "1.000";
    QTest::newRow("no point for 0 decimals") << 9.6 << 0 << "10";
    QTest::newRow("half rounds away from zero") << 0.125 << 2 << "0.13";
    QTest::newRow("tiny negative is 0") << -0.0001 << 3 << "0.000";
    QTest::newRow("infinity is 0") << double(INFINITY) << 2 << "0.00";
}

void TestSolveList::fixedText()
{
    QFETCH(double, value);
    QFETCH(int, decimals);
    QFETCH(QString, expected);
    QCOMPARE(db::fixedText(value, decimals), expected);
}

void TestSolveList::solvePageAddress_data()
{
    QTest::addColumn<QString>("site");
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("address");
    QTest::newRow("no site configured") << QString() << QStringLiteral("42") << QString();
    QTest::newRow("site") << QStringLiteral("https://solves.example") << QStringLiteral("42")
                          << QStringLiteral("https://solves.example/r/42");
    QTest::newRow("trailing slash") << QStringLiteral("https://solves.example/ ") << QStringLiteral("7")
                                    << QStringLiteral("https://solves.example/r/7");
    QTest::newRow("id as stored") << QStringLiteral("http://h") << QStringLiteral("2|001")
                                  << QStringLiteral("http://h/r/2|001");
}

void TestSolveList::solvePageAddress()
{
    QFETCH(QString, site);
    QFETCH(QString, id);
    QFETCH(QString, address);
    QCOMPARE(db::solvePageAddress(site, id), address);
}

QTEST_GUILESS_MAIN(TestSolveList)
#include "tst_solvelist.moc"
