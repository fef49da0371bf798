// Solve tables: header and row layout, value formats, move-usage block,
// the whole table and the web-table conversion.

#include "SolveDatabase.h"
#include "SolveTables.h"

#include <QTest>

namespace {

qsizetype fieldCount(const QString &line) { return line.split(u'\t').size(); }

// The fields [first, first + count) of a line, tab-joined.
QString fields(const QString &line, qsizetype first, qsizetype count = 1)
{
    return line.split(u'\t').mid(first, count).join(u'\t');
}

cube::SolveRecord commonRecord()
{
    cube::SolveRecord r;
    r.solveId = "s1"; r.solver = "Max"; r.puzzle = "3x3"; r.method = "CFOP"; r.reconstructor = "Rec";
    r.year = 2019; r.time = 7.5f; r.moveCount = 45; r.tps = 6.0f;
    r.totalGen = 4.0f; r.averageGen = 2.4f; r.totalFullRotations = 2;
    r.stepShares = {0.25f, 0.5f, 0.1f, 0.15f};
    r.steps = QStringList(7, QString());
    return r;
}

// A CFOP record as the analysis leaves it, four entries per pair list.
cube::SolveRecord cfopRecord()
{
    cube::SolveRecord r = commonRecord();
    r.cfop.edit().crossTime = 1.25f; r.crossColour = "White"; r.crossType = 1; r.crossMoveCountColumn = 8;
    r.cfop.edit().crossGen = 3.0f; r.cfop.edit().crossTps = 6.4f; r.cfop.edit().crossRotations = {1, 2};
    r.cfop.edit().f2lTime = 4.5f; r.cfop.edit().f2lMoves = 30; r.cfop.edit().f2lGen = 2.7f; r.cfop.edit().f2lTps = 6.6667f;
    r.cfop.edit().pairTimes = {1.0f, 1.25f, 0.0f, 2.25f};
    r.cfop.edit().pairSlots = {"FR", "FL", "", "BL"};
    r.cfop.edit().pairMoves = {7, 8, 0, 15};
    r.cfop.edit().pairRotations = {{1, 0}, {0, 1}, {0, 0}, {2, 0}};
    r.cfop.edit().pairGens = {2, 3, 0, 3};
    r.cfop.edit().pairInserts = {"R U R'", "", "", "L' U' L"};
    r.cfop.edit().pairInsertTypes = {1, -1, 0, 2};
    r.cfop.edit().multiSlot = 1; r.cfop.edit().lastSlotType = "None"; r.cfop.edit().ollName = "OLL"; r.pllName = "T";
    r.cfop.edit().ollTime = 1.0f; r.cfop.edit().ollMoves = 10; r.cfop.edit().ollGen = 2.6f; r.cfop.edit().ollTps = 10.0f; r.cfop.edit().ollRotations = {1, 0};
    r.cfop.edit().pllTime = 99.5f; r.cfop.edit().pllMoves = 14; r.cfop.edit().pllGen = 3.0f; r.cfop.edit().pllTps = 0.0f; r.cfop.edit().pllRotations = {0, 2};
    r.llSkips = 2; r.ollCase = "OLL 21"; r.cfop.edit().ollFamily = "Cross"; r.pllAlg = "T-perm";
    r.cfop.edit().preOllAuf = 0; r.cfop.edit().prePllAuf = 2; r.cfop.edit().finalAuf = 1;
    return r;
}

}  // namespace

class TestSolveTables : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Header and row widths; `record` is "common", "cfop" or the method of a
    // solve parsed from a database line.
    void columnCounts_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<bool>("moves");
        QTest::addColumn<QString>("record");
        QTest::addColumn<int>("header");
        QTest::addColumn<int>("row");
        QTest::newRow("Any") << "Any" << false << "cfop" << 17 << 17;
        QTest::newRow("Any with moves: seven unheaded steps") << "Any" << true << "cfop" << 32 << 39;
        QTest::newRow("other method text is Any") << "cfop" << false << "cfop" << 17 << 17;
        QTest::newRow("CFOP with moves") << "CFOP" << true << "cfop" << 168 << 168;
        QTest::newRow("CFOP, solve without pairs: 41 columns") << "CFOP" << false << "common" << 86 << 58;
        QTest::newRow("CFOP with moves, solve without pairs") << "CFOP" << true << "common" << 168 << 140;
        QTest::newRow("Roux with moves: seventh step unheaded") << "Roux" << true << "common" << 142 << 143;
        QTest::newRow("parsed CFOP solve, CFOP table") << "CFOP" << true << "CFOP" << 168 << 168;
        QTest::newRow("parsed ZZ solve, CFOP table") << "CFOP" << true << "ZZ" << 168 << 140;
        QTest::newRow("parsed Roux solve, Roux table") << "Roux" << true << "Roux" << 142 << 143;
        QTest::newRow("parsed CFOP solve, Roux table") << "Roux" << true << "CFOP" << 142 << 143;
    }

    void columnCounts()
    {
        QFETCH(QString, method);
        QFETCH(bool, moves);
        QFETCH(QString, record);
        QFETCH(int, header);
        QFETCH(int, row);
        cube::SolveRecord solve = record == "cfop" ? cfopRecord() : commonRecord();
        if (record != "cfop" && record != "common") {
            QStringList line(47);
            line[2] = "9.5"; line[5] = record; line[16] = "y2 R' D R' // cross"; line[18] = "U R U' R' // 1st pair";
            const db::SolveDatabase database = db::parseDatabase(line.join(u','), u',');
            QCOMPARE(database.solves.size(), size_t(1));
            solve = database.solves[0];
        }
        QCOMPARE(fieldCount(db::tableHeader(method, moves)), header);
        QCOMPARE(fieldCount(db::tableRow(solve, method, moves)), row);
    }

    void headerNames_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("name");
        QTest::newRow("first") << "Any" << 0 << "id";
        QTest::newRow("last common") << "Any" << 16 << "% Step4";
        QTest::newRow("whole-solve letters follow") << "Any" << 17 << "R";
        QTest::newRow("CFOP starts") << "CFOP" << 17 << "Cross Time";
        QTest::newRow("per-pair time") << "CFOP" << 32 << "2nd Pair Time";
        QTest::newRow("per-pair insert type") << "CFOP" << 58 << "4th Insert Type";
        QTest::newRow("after the pairs") << "CFOP" << 59 << "Pair Combo";
        QTest::newRow("CFOP ends") << "CFOP" << 85 << "AUFCount";
        QTest::newRow("cross letters") << "CFOP" << 101 << "Cross R";
        QTest::newRow("CFOP step columns") << "CFOP" << 162 << "F2L-1";
        QTest::newRow("Roux starts") << "Roux" << 17 << "FB Time";
        QTest::newRow("Roux ends") << "Roux" << 43 << "Skip Type";
        QTest::newRow("EP slice shares") << "Roux" << 135 << "EP U";
        QTest::newRow("Roux last step column") << "Roux" << 141 << "EP";
    }

    void headerNames()
    {
        QFETCH(QString, method);
        QFETCH(int, index);
        QFETCH(QString, name);
        QCOMPARE(fields(db::tableHeader(method, true), index), name);
    }

    // The common columns from `first` on, of the common record with `time`
    // (and every other value zero when `empty`).
    void commonRow_data()
    {
        QTest::addColumn<bool>("empty");
        QTest::addColumn<float>("time");
        QTest::addColumn<int>("first");
        QTest::addColumn<QString>("expected");
        QTest::newRow("values") << false << 7.5f << 0
                                << "s1\tMax\t3x3\tCFOP\tRec\t2019\t7.500\t7\t45\t6.00\t4.0\t2.4\t2"
                                   "\t0.250\t0.500\t0.100\t0.150";
        QTest::newRow("zeros: N/A, empty fields, rotations stay") << true << cube::kPlaceholderTime << 0
                                   << "s1\tMax\t3x3\tCFOP\tRec\tN/A\t\t10+\t\t\t\t\t0\t\t\t\t";
        // Time and its "Sub" class.
        QTest::newRow("exactly 4") << false << 4.0f << 6 << "4.000\t4";
        QTest::newRow("9.99 rounds down") << false << 9.99f << 6 << "9.990\t9";
        QTest::newRow("exactly 10") << false << 10.0f << 6 << "10.000\t10";
        QTest::newRow("above 10") << false << 10.5f << 6 << "10.500\t10+";
        QTest::newRow("98.5 still shown") << false << 98.5f << 6 << "98.500\t10+";
        QTest::newRow("99 and more hidden") << false << 99.0f << 6 << "\t10+";
        QTest::newRow("placeholder") << false << cube::kPlaceholderTime << 6 << "\t10+";
        QTest::newRow("zero") << false << 0.0f << 6 << "\t4";
    }

    void commonRow()
    {
        QFETCH(bool, empty);
        QFETCH(float, time);
        QFETCH(int, first);
        QFETCH(QString, expected);
        cube::SolveRecord r = commonRecord();
        r.time = time;
        if (empty) {
            r.year = 0; r.moveCount = 0; r.tps = r.totalGen = r.averageGen = 0.0f;
            r.totalFullRotations = 0; r.stepShares = {};
        }
        const QString row = db::tableRow(r, "Any", false);
        QCOMPARE(fields(row, first, first == 0 ? 17 : 2), expected);
        QCOMPARE(fieldCount(row), 17);
    }

    void cfopBlock()
    {
        const QString expected =
            "1.250\tWhite\t1\t8\t3.0\t6.4\t3\t1\t2\t4.500\t30\t2.7\t6.7\t4"
            "\t1.000\t1.250\t\t2.250\tFR\tFL\t\tBL\t7\t8\t0\t15\t1\t1\t0\t2\t2\t3\t0\t3"
            "\tR U R'\t\t\tL' U' L\t1\t\t0\t2"
            "\t1\tNone\tOLL\tT\t1.000\t\t10\t14\t3\t3\t10.0\t\t1\t0\t1\t0\t2\t2"
            "\t2\tNatural\tOLL 21\tCross\tT-perm\t0\t2\t1\t2";
        QCOMPARE(fields(db::tableRow(cfopRecord(), "CFOP", false), 17, 69), expected);
    }

    void skipForcedAndAufCount_data()
    {
        QTest::addColumn<QString>("lastSlot");
        QTest::addColumn<int>("skips");
        QTest::addColumn<QString>("ollName");
        QTest::addColumn<QString>("forced");
        QTest::newRow("special last slot forces") << "WV" << 3 << "OLL" << "Forced";
        QTest::newRow("no last-slot type at all forces") << "" << 1 << "OLL" << "Forced";
        QTest::newRow("OLL skipped") << "None" << 1 << "Sune" << "Natural";
        QTest::newRow("both skipped") << "None" << 3 << "Sune" << "Natural";
        QTest::newRow("PLL skipped, OLL by name") << "None" << 2 << "OLL(CP)" << "Natural";
        QTest::newRow("plain OLL") << "None" << 0 << "OLL" << "Natural";
        QTest::newRow("named case") << "None" << 0 << "Sune" << "Forced";
    }

    void skipForcedAndAufCount()
    {
        QFETCH(QString, lastSlot);
        QFETCH(int, skips);
        QFETCH(QString, ollName);
        QFETCH(QString, forced);
        cube::SolveRecord r = cfopRecord();
        r.cfop.edit().lastSlotType = lastSlot; r.llSkips = skips; r.cfop.edit().ollName = ollName;
        QCOMPARE(fields(db::tableRow(r, "CFOP", false), 17 + 61), forced);

        // AUFCount counts the AUF values above 0 only.
        r.cfop.edit().preOllAuf = -1; r.cfop.edit().prePllAuf = 3; r.cfop.edit().finalAuf = skips;
        QCOMPARE(fields(db::tableRow(r, "CFOP", false), 17 + 68), QString::number(skips > 0 ? 2 : 1));
    }

    void rouxBlock()
    {
        cube::SolveRecord r = commonRecord();
        r.roux.edit().fbTime = 2.5f; r.roux.edit().fbMoves = 10; r.roux.edit().fbRate = 0.25f;
        r.roux.edit().ssTime = 1.2f; r.roux.edit().ssMoves = 7; r.roux.edit().ssRate = 1.2f / 7;
        r.roux.edit().spTime = 0.8f; r.roux.edit().spMoves = 5; r.roux.edit().spRate = 0.16f;
        r.roux.edit().sbTime = 2.0f; r.roux.edit().sbMoves = 12; r.roux.edit().sbRate = 2.0f / 12;
        r.roux.edit().eolrTime = 1.5f; r.roux.edit().eolrMoves = 9; r.roux.edit().eolrRate = 1.5f / 9; r.roux.edit().eolrName = "EOLR";
        r.roux.edit().epTime = 0.7f; r.roux.edit().epMoves = 4; r.roux.edit().epRate = 0.175f; r.roux.edit().epName = "Skip";
        r.llSkips = 1;
        const QString expected = "2.500\t10\t0.250\t\t1.200\t7\t0.171\t0.800\t5\t0.160\t\t2.000\t12\t0.167"
                                 "\t0.000\t0\t0.000\t\t1.500\t9\t0.167\tEOLR\t0.700\t4\t0.175\tSkip\t1";
        QCOMPARE(fields(db::tableRow(r, "Roux", false), 17, 27), expected);
    }

    void moveUsage()
    {
        cube::SolveRecord r = commonRecord();
        // 7/80 is stored just below 0.0875; its percentage is still 8.8%, as the exact share's.
        r.letterShares = {0.5f, 0.375f, 0.125f, 0.0f, 7.0f / 80};
        r.roux.edit().cmllLetters[14] = 1.0f / 3;
        r.roux.edit().epLetters = {0.25f, 0.75f};
        // "R R' U R": the single cancellation pass uncovers a U at the front.
        r.steps = QStringList({"R U R' // pair", "U R U' R' U' // auf", "R R' F", "L L U", "R R' U R", "y R", "U2"});
        const QString steps = "R U R'\tR U' R'\tF\tL2\tR\tR\t";

        const QString any = db::tableRow(r, "Any", true);
        QCOMPARE(fields(any, 17, 5), QStringLiteral("50.0%\t37.5%\t12.5%\t0.0%\t8.8%"));
        QCOMPARE(fields(any, 32, 7), steps);

        const QString roux = db::tableRow(r, "Roux", true);
        QCOMPARE(fields(roux, 44 + 15 * 4 + 14), QStringLiteral("33.3%"));  // CMLL b
        QCOMPARE(fields(roux, 44 + 15 * 6, 2), QStringLiteral("25.0%\t75.0%"));
        QCOMPARE(fields(roux, 136, 7), steps);
    }

    void solveTable_data()
    {
        QTest::addColumn<QList<int>>("shown");
        QTest::addColumn<int>("solveCount");
        QTest::addColumn<QStringList>("ids");
        QTest::newRow("nothing listed: every solve in file order") << QList<int>{} << 3 << QStringList({"a", "b", "c"});
        QTest::newRow("listed solves in list order") << QList<int>{2, 0} << 3 << QStringList({"c", "a"});
        QTest::newRow("invalid indices skipped") << QList<int>{1, 3, -1} << 3 << QStringList({"b"});
        QTest::newRow("empty database: header alone") << QList<int>{} << 0 << QStringList();
    }

    void solveTable()
    {
        QFETCH(QList<int>, shown);
        QFETCH(int, solveCount);
        QFETCH(QStringList, ids);
        std::vector<cube::SolveRecord> solves(size_t(solveCount), commonRecord());
        for (int i = 0; i < solveCount; ++i)
            solves[size_t(i)].solveId = QString(QChar(char16_t(u'a' + i)));

        const QString table = db::solveTable(solves, std::vector<int32_t>(shown.begin(), shown.end()), "Any", false);
        QVERIFY(table.endsWith(u'\n'));
        QStringList lines = table.split(u'\n');
        lines.removeLast();  // after the final line feed
        QCOMPARE(lines.size(), ids.size() + 1);
        QCOMPARE(lines.first(), db::tableHeader("Any", false));
        QStringList firstFields;
        for (const QString &line : lines.mid(1))
            firstFields.append(fields(line, 0));
        QCOMPARE(firstFields, ids);
    }

    void convertWebTable_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");  // empty: no conversion
        const QStringList seven{"R U R' // first",  "D R' D // cross",  "R U R' // 1st", "U' L' U L // 2nd",
                                "R' U' R // 3rd",    "F U F' // 4th",    "R U R' U R U2 R' // OLL"};
        const QString table = "Cross\t1.5\t8\n1st\t0.75\n2nd\t1.25\n3rd\tabc\t9\n4th\t1.0\nOLL\t2.0\n";
        // Marks run 0, 1.5, 2.25, 3.5, 3.5 (unparsable adds 0), 4.5, 6.5; the
        // move count leaves out the first step: 3 + 3 + 4 + 3 + 3 + 7.
        const QString tail = "\t\t0\t\t0\tTime\t30\t\t23";
        const QString converted = "Solve 9\tR U R' // first\t0\tD R' D // cross\t1.500\tR U R' // 1st\t2.250"
                                  "\tU' L' U L // 2nd\t3.500\tR' U' R // 3rd\t3.500\tF U F' // 4th\t4.500"
                                  "\tR U R' U R U2 R' // OLL\t6.500" + tail;
        const QString stepText = "Solve 9\nignored\n" + seven.join(u'\n') + "\nStep\tTime\n--\n" + table;
        QTest::newRow("Step line, seven steps") << stepText << converted;
        QTest::newRow("Windows line ends") << QString(stepText).replace("\n", "\r\n") << converted;
        QTest::newRow("View at line, six steps gain an empty first")
            << QString("Solve 9\nStep in line 1 is ignored\n" + seven.mid(1).join(u'\n') + "\nView at site\n1\n2\n3\n4\n5\n"
                       + table)
            << QString(converted).replace("R U R' // first", "");
        QTest::newRow("fewer steps use the first marks")
            << QString("S\n\nR U\nU R\nStep\n\n" + table) << "S\tR U\t0\tU R\t1.500\t\t0\t\t0\tTime\t30\t\t2";

        QTest::newRow("no Step or View at line") << QString("Solve 9\nx\n" + seven.join(u'\n') + "\n" + table) << "";
        QTest::newRow("Step only in line 1") << "Solve 9\nStep\n" << "";
        QTest::newRow("time table of five lines") << QString("S\n\nR U\nStep\n\n" + table.section(u'\n', 0, 4)) << "";
        QTest::newRow("fewer marks than steps")
            << QString("S\n\n" + seven.join(u'\n') + "\nStep\n\nA\t1\nB\nC\nD\nE\nF\t2\n") << "";
    }

    void convertWebTable()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QString error;
        const std::optional<QString> result = db::convertWebTable(text, &error);
        QCOMPARE(result.value_or("<no conversion>"), expected.isEmpty() ? "<no conversion>" : expected);
        if (!result)
            QVERIFY(!error.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSolveTables)
#include "tst_solvetables.moc"
