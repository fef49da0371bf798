// Per-solve analysis: common fields, CFOP and Roux breakdowns.

#include "SolveAnalysis.h"

#include "BlockPool.h"

#include <QTest>

#include <algorithm>
#include <thread>
#include <vector>

#include <cmath>

using cube::SolveRecord;

namespace {

// A record with its raw fields set as the loader would, before any analysis.
SolveRecord record(const QStringList &steps, const std::array<float, 8> &marks, float time = 8.0f,
                   const QString &unit = QStringLiteral("Time"), float fps = 0.0f)
{
    SolveRecord r;
    r.steps = steps;
    r.marks = marks;
    r.time = time;
    r.markUnit = unit;
    r.fps = fps;
    return r;
}

SolveRecord cfop(const QStringList &steps, const std::array<float, 8> &marks = {0, 1, 2, 3, 4, 5, 6, 7})
{
    SolveRecord r = record(steps, marks);
    cube::analyseCommon(r);
    cube::analyseCfop(r);
    return r;
}

}  // namespace

class TestSolveAnalysis : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void stepTimes_data();
    void stepTimes();
    void timeBucket_data();
    void timeBucket();
    void commonCounts();
    void cfopPhases();
    void cfopSkipsAndInserts();
    void rouxSteps();
    void rouxStepName_data();
    void rouxStepName();
    void lseSkips_data();
    void lseSkips();
    void methodBlocks_sharedUntilWritten();
    void blockPool_reusesAndSharesNothing();
};

void TestSolveAnalysis::stepTimes_data()
{
    QTest::addColumn<QString>("unit");
    QTest::addColumn<float>("fps");
    QTest::addColumn<QList<float>>("marks");
    QTest::addColumn<QList<float>>("expected");

    QTest::newRow("frames at 60 fps") << QStringLiteral("Frame") << 60.0f
                                      << QList<float>{100, 160, 400, 400, 400, 400, 400, 400}
                                      << QList<float>{1, 4, 0, 0, 0, 0, 0};
    QTest::newRow("seconds") << QStringLiteral("Time") << 0.0f << QList<float>{1.5f, 3.0f, 3.0f, 3, 3, 3, 3, 3}
                             << QList<float>{1.5f, 0, 0, 0, 0, 0, 0};
    QTest::newRow("mark going backwards") << QStringLiteral("Time") << 0.0f
                                          << QList<float>{2, 1, 3, 3, 3, 3, 3, 3}
                                          << QList<float>{0, 2, 0, 0, 0, 0, 0};
    QTest::newRow("frames without a frame rate") << QStringLiteral("Frame") << 0.0f
                                                 << QList<float>{0, 30, 60, 60, 60, 60, 60, 60}
                                                 << QList<float>{0, 0, 0, 0, 0, 0, 0};
}

void TestSolveAnalysis::stepTimes()
{
    QFETCH(QString, unit);
    QFETCH(float, fps);
    QFETCH(QList<float>, marks);
    QFETCH(QList<float>, expected);
    std::array<float, 8> m{};
    std::copy(marks.begin(), marks.end(), m.begin());
    SolveRecord r = record({}, m, 8.0f, unit, fps);
    cube::analyseCommon(r);
    QCOMPARE(QList<float>(r.stepTimes.begin(), r.stepTimes.end()), expected);
}

void TestSolveAnalysis::timeBucket_data()
{
    QTest::addColumn<float>("time");
    QTest::addColumn<QString>("bucket");
    QTest::newRow("exactly 10") << 10.0f << QStringLiteral("Sup10");
    QTest::newRow("9.99") << 9.99f << QStringLiteral("Sub10");
    QTest::newRow("9.2") << 9.2f << QStringLiteral("Sub10");
    QTest::newRow("7.3") << 7.3f << QStringLiteral("Sub8");
    QTest::newRow("4.01") << 4.01f << QStringLiteral("Sub5");
    QTest::newRow("exactly 4") << 4.0f << QStringLiteral("Sub4");
    QTest::newRow("placeholder") << cube::kPlaceholderTime << QStringLiteral("Sup10");
}

void TestSolveAnalysis::timeBucket()
{
    QFETCH(float, time);
    QFETCH(QString, bucket);
    SolveRecord r = record({}, {}, time);
    cube::analyseCommon(r);
    QCOMPARE(r.timeBucket, bucket);
}

void TestSolveAnalysis::commonCounts()
{
    SolveRecord r = record({QStringLiteral("d R d' // cross"), QStringLiteral("U R U' R' d"), QStringLiteral("U // AUF"),
                            QStringLiteral("d F"), QString(), QString(), QString()},
                           {0, 1, 2, 3, 4, 5, 6, 7}, 8.0f);
    r.moveCount = 20;
    cube::analyseCommon(r);
    QCOMPARE(r.stepMoves, (std::array<int32_t, 7>{3, 5, 0, 2, 0, 0, 0}));
    // Every d counts two wide rotations.
    QCOMPARE(r.stepRotations[0].wide, 4);
    QCOMPARE(r.stepRotations[1].wide, 2);
    QCOMPARE(r.totalWideRotations, 4 + 2 + 2);
    QCOMPARE(r.stepGen, (std::array<int32_t, 7>{2, 3, 1, 2, 0, 0, 0}));
    // Mean over the steps that use a letter: (2 + 3 + 1 + 2) / 4.
    QCOMPARE(r.averageGen, 2.0f);
    // d R d' U R U' R' d U d F: letters d, R, U, F.
    QCOMPARE(r.totalGen, 4.0f);
    QCOMPARE(r.tps, 2.5f);  // the file's move count over the time

    SolveRecord empty = record({}, {}, 8.0f);
    cube::analyseCommon(empty);
    QCOMPARE(empty.averageGen, 0.0f);
    for (float share : empty.letterShares)
        QCOMPARE(share, 0.0f);
}

void TestSolveAnalysis::cfopPhases()
{
    // Marks in seconds: cross 1.5, pairs 1, 2, 0.5, 1, OLL 0 (equal marks), PLL 2.
    SolveRecord r = record({QStringLiteral("x2 D R' F D2 // cross"), QStringLiteral("U R U' R' // 1st pair"),
                            QStringLiteral("y' R U R' // 2nd pair"), QStringLiteral("// 3rd pair"),
                            QStringLiteral("U2 R U R' // 4th pair"), QStringLiteral("F R U R' U' F' // OLL"),
                            QStringLiteral("R U R' U' // PLL")},
                           {0, 1.5f, 2.5f, 4.5f, 5.0f, 6.0f, 6.0f, 8.0f}, 8.0f);
    cube::analyseCommon(r);
    cube::analyseCfop(r);
    QCOMPARE(r.cfop->crossTime, 1.5f);
    QCOMPARE(r.cfop->f2lTime, 4.5f);
    QCOMPARE(r.cfop->ollTime, 0.0f);
    QCOMPARE(r.cfop->pllTime, 2.0f);
    QCOMPARE(r.stepShares, (std::array<float, 4>{1.5f / 8, 4.5f / 8, 0.0f, 2.0f / 8}));
    QCOMPARE(r.cfop->crossMoves, 4);
    QCOMPARE(r.cfop->pairMoves, (cube::PairList<int32_t>{4, 3, 0, 4}));
    QCOMPARE(r.cfop->f2lMoves, 11);
    QCOMPARE(r.cfop->ollMoves, 6);
    QCOMPARE(r.cfop->ollTps, 0.0f);  // no time: no rate
    QCOMPARE(r.cfop->crossTps, 4 / 1.5f);
    QCOMPARE(r.cfop->f2lRotations.full, 1);
    QCOMPARE(r.cfop->crossRotations.full, 1);
    // Pair gens 2, 2, 0, 2: the empty pair is left out of the mean.
    QCOMPARE(r.cfop->pairGens, (cube::PairList<int32_t>{2, 2, 0, 2}));
    QCOMPARE(r.cfop->f2lGen, 2.0f);
    QCOMPARE(r.crossColour, QStringLiteral("White"));  // recognised from x2
    QCOMPARE(r.cfop->ollName, QStringLiteral("OLL"));
    QCOMPARE(r.pllName, QStringLiteral("PLL"));

    SolveRecord given = record({QStringLiteral("x2 D // cross")}, {}, 8.0f);
    given.crossColour = QStringLiteral("Blue");
    cube::analyseCommon(given);
    cube::analyseCfop(given);
    QCOMPARE(given.crossColour, QStringLiteral("Blue"));

    SolveRecord gens = cfop({QString(), QStringLiteral("R U"), QStringLiteral("R U F"), QString(),
                             QStringLiteral("R U F")});
    QCOMPARE(gens.cfop->f2lGen, 8.0f / 3.0f);
    SolveRecord noGens = cfop({QStringLiteral("R")});
    QCOMPARE(noGens.cfop->f2lGen, 0.0f);
}

void TestSolveAnalysis::cfopSkipsAndInserts()
{
    const SolveRecord r = cfop({QStringLiteral("y2 F R D // xcross"), QStringLiteral("// 1st pair"),
                                QStringLiteral("U R U' // 2nd pair"), QStringLiteral("U R U R' // 3rd and 4th pair"),
                                QStringLiteral("U2 R U R' D' // EOLS"), QStringLiteral("U2 // AUF"),
                                QStringLiteral("U R2 U R U R' U' R' U' R' U R' // EPLL")});
    QCOMPARE(r.crossType, 1);
    QCOMPARE(r.cfop->pairInserts, (cube::PairList<QString>{QString(), QString(), QStringLiteral("R U R'"), QStringLiteral("R U R' D'")}));
    QCOMPARE(r.cfop->pairInsertTypes, (cube::PairList<int32_t>{0, -1, 1, 2}));
    QCOMPARE(r.cfop->pairSlots, (cube::PairList<QString>{QString(), QString(), QStringLiteral("FR"), QStringLiteral("FL")}));
    QCOMPARE(r.cfop->multiSlot, 3);
    QCOMPARE(r.cfop->lastSlotType, QStringLiteral("EOLS"));
    // An AUF line as the OLL step: both last-layer steps count as skipped.
    QCOMPARE(r.llSkips, 3);
    QCOMPARE(r.cfop->ollMoves, 0);
    QCOMPARE(r.cfop->finalAuf, 4);  // "U2"
    QCOMPARE(r.pllName, QStringLiteral("EPLL"));
}

void TestSolveAnalysis::rouxSteps()
{
    // Marks: FB 1, SS 1.2, SP 0.8, CMLL 1, EOLR 2, EP 0.5.
    SolveRecord r = record({QStringLiteral("x' F R' F' U' R2 // FB"), QStringLiteral("r U r' R U' R' U // SS"),
                            QStringLiteral("U' R U R' U2 // SP"), QStringLiteral("U2 // CMLL skip"),
                            QStringLiteral("M' U M U2 M' U' M // EO UL/UR"), QStringLiteral("U // EP"), QString()},
                           {0, 1, 2.2f, 3, 4, 6, 6.5f, 6.5f}, 7.0f);
    cube::analyseCommon(r);
    cube::analyseRoux(r);
    QCOMPARE(r.roux->fbMoves, 5);
    QCOMPARE(r.roux->ssMoves, 7);
    QCOMPARE(r.roux->spMoves, 5);
    QCOMPARE(r.roux->sbMoves, 12);
    QVERIFY(qAbs(r.roux->sbTime - 2.0f) < 1e-6f);
    QVERIFY(qAbs(r.roux->sbRate - 2.0f / 12) < 1e-6f);
    QCOMPARE(r.roux->fbRate, 1.0f / 5);
    QCOMPARE(r.roux->epMoves, 0);
    QCOMPARE(r.roux->epRate, 0.0f);  // no moves: no rate rather than infinity
    QCOMPARE(r.roux->cmllRate, 0.0f);
    QCOMPARE(r.llSkips, 1 | 4);  // CMLL and EP are only U turns
    QCOMPARE(r.roux->eolrName, QStringLiteral("EO UL/UR"));
    QCOMPARE(r.roux->epName, QStringLiteral("EP"));
    // The EP step holds only a U: all of its M/U share is U.
    QCOMPARE(r.roux->epLetters, (cube::SliceShares{0.0f, 1.0f}));
    QCOMPARE(r.roux->fbType, QString());
}

void TestSolveAnalysis::rouxStepName_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("name");
    QTest::newRow("empty") << QStringLiteral("  ") << QStringLiteral("Skip");
    QTest::newRow("no comment") << QStringLiteral("M' U M") << QStringLiteral("EOLR");
    QTest::newRow("named") << QStringLiteral("M' U M // EO UL/UR") << QStringLiteral("EO UL/UR");
    QTest::newRow("last comment wins") << QStringLiteral("M // a // 4c") << QStringLiteral("4c");
    QTest::newRow("slashes at the end") << QStringLiteral("M U //") << QString();
}

void TestSolveAnalysis::rouxStepName()
{
    QFETCH(QString, text);
    QFETCH(QString, name);
    QCOMPARE(cube::rouxStepName(text, QStringLiteral("EOLR")), name);
}

void TestSolveAnalysis::lseSkips_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<int>("mask");
    const QString s = QStringLiteral("R U");
    QTest::newRow("fewer than six steps") << QStringList{s, s, s, QString(), QString()} << 0;
    QTest::newRow("U2 CMLL") << QStringList{s, s, s, QStringLiteral("U2 // CMLL"), s, s} << 1;
    QTest::newRow("real CMLL") << QStringList{s, s, s, QStringLiteral("U R U' R'"), s, s} << 0;
    QTest::newRow("y and U turns cancel away") << QStringList{s, s, s, s, QStringLiteral("y U U' y'"), s} << 2;
    QTest::newRow("all three empty") << QStringList{s, s, s, QString(), QStringLiteral("// EO"), QStringLiteral("U")}
                                     << 7;
}

void TestSolveAnalysis::lseSkips()
{
    QFETCH(QStringList, steps);
    QFETCH(int, mask);
    QCOMPARE(cube::lseSkips(steps), mask);
}

void TestSolveAnalysis::methodBlocks_sharedUntilWritten()
{
    const SolveRecord blankA;
    const SolveRecord blankB;
    // Every record without CFOP fields reads the same empty block.
    QCOMPARE(&*blankA.cfop, &*blankB.cfop);
    QCOMPARE(&*blankA.roux, &*blankB.roux);

    SolveRecord solve = cfop({QStringLiteral("R U R' // cross"), QStringLiteral("U R U' R'")});
    QVERIFY(&*solve.cfop != &*blankA.cfop);    // the analysis gave it its own
    QCOMPARE(&*solve.roux, &*blankA.roux);     // and left the Roux block shared
    QCOMPARE(blankA.cfop->crossTime, 0.0f);    // the empty block stayed empty

    SolveRecord copy = solve;
    QCOMPARE(&*copy.cfop, &*solve.cfop);       // copies share
    QVERIFY(copy == solve);
    copy.cfop.edit().crossTime = 123.0f;       // until one is written
    QVERIFY(&*copy.cfop != &*solve.cfop);
    QCOMPARE(copy.cfop->crossTime, 123.0f);
    QVERIFY(solve.cfop->crossTime != 123.0f);
    QVERIFY(!(copy == solve));

    // Equal by value, whether shared or not.
    SolveRecord same = solve;
    same.cfop.edit();  // detached, same values
    QVERIFY(&*same.cfop != &*solve.cfop);
    QVERIFY(same == solve);
    same.cfop.reset();
    QCOMPARE(&*same.cfop, &*blankA.cfop);
}

void TestSolveAnalysis::blockPool_reusesAndSharesNothing()
{
    cube::BlockPool pool(40);
    void *first = pool.allocate();
    pool.release(first);
    QCOMPARE(pool.allocate(), first);  // a freed block is taken again

    // Blocks taken on two threads at once never overlap, across slabs too.
    std::vector<char *> blocks[2];
    std::thread other([&] {
        for (int i = 0; i < 300000; ++i)
            blocks[1].push_back(static_cast<char *>(pool.allocate()));
    });
    for (int i = 0; i < 300000; ++i)
        blocks[0].push_back(static_cast<char *>(pool.allocate()));
    other.join();
    std::vector<char *> all = blocks[0];
    all.insert(all.end(), blocks[1].begin(), blocks[1].end());
    all.push_back(static_cast<char *>(first));
    std::sort(all.begin(), all.end());
    for (size_t i = 1; i < all.size(); ++i)
        QVERIFY2(all[i] - all[i - 1] >= 48, "blocks overlap");  // 40 rounded up to the alignment
    for (char *block : all)
        pool.release(block);
}

QTEST_APPLESS_MAIN(TestSolveAnalysis)
#include "tst_solveanalysis.moc"
