// Tests of the recognisers: cross colour and type, F2L inserts and their
// tables, pair combinations, last-slot types and the last-layer readers.
#include "Recognition.h"

#include <QTest>

using namespace cube;

namespace {

QString s(const char *text)
{
    return QString::fromUtf8(text);
}

// A row of tab-separated fields written with "|" between them.
QString fields(const char *text)
{
    return s(text).replace(u'|', u'\t');
}

// The insert tables as typed from the algorithm list, one row per
// (code, slot) group with its expected size. The suffix check prefixes each
// algorithm with other moves, as a real pair step does.
struct Group
{
    const char *name;
    InsertTable table;
    int code;
    int slot;
    int count;
    const char *algorithms;  // separated by "|"
};

constexpr InsertTable A = InsertTable::Analysis;
constexpr InsertTable C = InsertTable::Calculator;

const Group kGroups[] = {
    {"analysis 1 FR", A, 1, 1, 3, "R U R'|R2 U R'|R2' U R'"},
    {"analysis 0 FR", A, 0, 1, 11,
     "R U' R'|R U2 R'|R U2' R'|R U U R'|R U' U' R'|R2 U' R'|R2 U2 R'|R2 U2' R'|R2' U' R'|"
     "R2' U2 R'|R2' U2' R'"},
    {"analysis 1 FL", A, 1, 2, 3, "L' U' L|L2' U' L|L2 U' L"},
    {"analysis 0 FL", A, 0, 2, 11,
     "L' U L|L' U2 L|L' U2' L|L' U U L|L' U' U' L|L2' U L|L2' U2 L|L2' U2' L|L2 U L|L2 U2 L|"
     "L2 U2' L"},
    {"analysis 1 BR", A, 1, 3, 3, "R' U' R|R2' U' R|R2 U' R"},
    {"analysis 0 BR", A, 0, 3, 10,
     "R' U R|R' U2 R|R' U2' R|R' U U R|R' U' U' R|R2' U R|R2' U2 R|R2' U2' R|R2 U R|R2 U2 R"},
    {"analysis 1 BL", A, 1, 4, 3, "L U L'|L2 U L'|L2' U L'"},
    {"analysis 0 BL", A, 0, 4, 11,
     "L U' L'|L U2 L'|L U2' L'|L U U L'|L U' U' L'|L2 U' L'|L2 U2 L'|L2 U2' L'|L2' U' L'|"
     "L2' U2 L'|L2' U2' L'"},
    {"analysis 2 FR", A, 2, 1, 10,
     "R' U R D'|R' U' R D'|R' U2 R D'|R' U2' R D'|L' U L D|L' U' L D|L' U2 L D|L' U2' L D|"
     "R' U R u'|R' U' R u'"},
    {"analysis 2 FL", A, 2, 2, 10,
     "R U' R' D'|R U R' D'|R U2 R' D'|R U2' R' D'|R U R' u'|R U' R' u'|L U L' D|L U' L' D|"
     "L U2 L' D|L U2' L' D"},
    {"analysis 2 BR", A, 2, 3, 8,
     "L U L' D'|L U' L' D'|L U2 L' D'|L U2' L' D'|R U R' D|R U' R' D|R U2 R' D|R U2' R' D"},
    {"analysis 2 BL", A, 2, 4, 8,
     "L' U L D'|L' U' L D'|L' U2 L D'|L' U2' L D'|R' U R D|R' U' R D|R' U2 R D|R' U2' R D"},
    {"analysis 3 FR", A, 3, 1, 1, "l F' l'"},
    {"analysis 3 FL", A, 3, 2, 1, "r' F r"},
    {"analysis 3 BR", A, 3, 3, 3, "f R f'|f R' f'|r' U' R U M'"},
    {"analysis 3 BL", A, 3, 4, 4, "r B r'|f' L' f|f' L f|l U L' U' M'"},
    {"analysis 4 FR", A, 4, 1, 5, "F' U' F|F' U F|F' U2 F|F' U2' F|F R F'"},
    {"analysis 4 FL", A, 4, 2, 5, "F U F'|F U' F'|F U2 F'|F U2' F'|F' L' F"},

    {"calculator 1 FR", C, 1, 1, 4, "R U R'|F' U' F|R2 U R'|R2' U R'"},
    {"calculator 0 FR", C, 0, 1, 16,
     "R U' R'|R U2 R'|R U2' R'|R U U R'|R U' U' R'|R2 U' R'|R2 U2 R'|R2 U2' R'|R2' U' R'|"
     "R2' U2 R'|R2' U2' R'|l F' l'|F' U F|F' U2 F|F' U2' F|F R F'"},
    {"calculator 1 FL", C, 1, 2, 4, "L' U' L|F U F'|L2' U' L|L2 U' L"},
    {"calculator 0 FL", C, 0, 2, 16,
     "L' U L|L' U2 L|L' U2' L|L' U U L|L' U' U' L|L2' U L|L2' U2 L|L2' U2' L|L2 U L|L2 U2 L|"
     "L2 U2' L|r' F r|F U' F'|F U2 F'|F U2' F'|F' L' F"},
    {"calculator 1 BR", C, 1, 3, 4, "R' U' R|f R f'|R2' U' R|R2 U' R"},
    {"calculator 0 BR", C, 0, 3, 12,
     "R' U R|R' U2 R|R' U2' R|R' U U R|R' U' U' R|R2' U R|R2' U2 R|R2' U2' R|R2 U R|R2 U2 R|"
     "f R' f'|r' U' R U M'"},
    {"calculator 1 BL", C, 1, 4, 5, "L U L'|r B r'|f' L' f|L2 U L'|L2' U L'"},
    {"calculator 0 BL", C, 0, 4, 13,
     "L U' L'|L U2 L'|L U2' L'|L U U L'|L U' U' L'|L2 U' L'|L2 U2 L'|L2 U2' L'|L2' U' L'|"
     "L2' U2 L'|L2' U2' L'|f' L f|l U L' U' M'"},
    {"calculator 2 FR", C, 2, 1, 10,
     "R' U R D'|R' U' R D'|R' U2 R D'|R' U2' R D'|L' U L D|L' U' L D|L' U2 L D|L' U2' L D|"
     "R' U R u'|R' U' R u'"},
    {"calculator 2 FL", C, 2, 2, 10,
     "R U' R' D'|R U R' D'|R U2 R' D'|R U2' R' D'|R U R' u'|R U' R' u'|L U L' D|L U' L' D|"
     "L U2 L' D|L U2' L' D"},
    {"calculator 2 BR", C, 2, 3, 8,
     "L U L' D'|L U' L' D'|L U2 L' D'|L U2' L' D'|R U R' D|R U' R' D|R U2 R' D|R U2' R' D"},
    {"calculator 2 BL", C, 2, 4, 8,
     "L' U L D'|L' U' L D'|L' U2 L D'|L' U2' L D'|R' U R D|R' U' R D|R' U2 R D|R' U2' R D"},
};

}  // namespace

Q_DECLARE_METATYPE(cube::InsertTable)

class TestRecognition : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void crossColour_data();
    void crossColour();
    void crossType_data();
    void crossType();
    void slotName_data();
    void slotName();
    void insertTables_data();
    void insertTables();
    void matchInsertRejects_data();
    void matchInsertRejects();
    void insertRow_data();
    void insertRow();
    void insertResult_data();
    void insertResult();
    void multiSlot_data();
    void multiSlot();
    void lastSlotType_data();
    void lastSlotType();
    void llSkips_data();
    void llSkips();
    void aufIndices_data();
    void aufIndices();
    void llNames_data();
    void llNames();
    void ollFamily_data();
    void ollFamily();
    void lastLayerRow_data();
    void lastLayerRow();
};

void TestRecognition::crossColour_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("empty") << QString() << s("Yellow");
    QTest::newRow("face turns only") << s("R U R' F") << s("Yellow");
    QTest::newRow("x2") << s("x2") << s("White");
    QTest::newRow("z'") << s("z'") << s("Orange");
    QTest::newRow("z") << s("z") << s("Red");
    QTest::newRow("x") << s("x") << s("Blue");
    QTest::newRow("x'") << s("x'") << s("Green");
    QTest::newRow("y2 x'") << s("y2 x'") << s("Blue");
    QTest::newRow("y x") << s("y x") << s("Orange");
    QTest::newRow("d keeps the bottom") << s("d") << s("Yellow");
    QTest::newRow("M is an x'") << s("R M") << s("Green");
    QTest::newRow("comment ignored") << s("x2 // zx") << s("White");
    // Two x turns in two cells make an x2; the orientation carries over.
    QTest::newRow("cells carry") << s("x\tR x") << s("White");
    // The first cell's comment does not end the scan of the next cell.
    QTest::newRow("slash ends its cell only") << s("x // x\tx") << s("White");
    QTest::newRow("empty cells") << s("\t\tz") << s("Red");
}

void TestRecognition::crossColour()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);

    QCOMPARE(cube::crossColour(text), expected);
}

void TestRecognition::crossType_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");

    QTest::newRow("no keyword") << s("R U // cross") << 0;
    QTest::newRow("empty") << QString() << 0;
    QTest::newRow("xcross mixed case") << s("R U // XCross") << 1;
    QTest::newRow("xxcross") << s("R U // xxcross") << 2;
    QTest::newRow("xxcross capitals") << s("// XXCROSS") << 2;
    QTest::newRow("pseudo xcross is an xcross") << s("// pseudo xcross") << 1;
    QTest::newRow("pseudo") << s("// Pseudo cross") << 3;
    QTest::newRow("partial") << s("// PARTIAL") << 3;
    QTest::newRow("keyword in the next step") << s("R U\tL' // xcross") << 1;
    QTest::newRow("hyphenated is not a keyword") << s("// x-cross") << 0;
}

void TestRecognition::crossType()
{
    QFETCH(QString, text);
    QFETCH(int, expected);

    QCOMPARE(cube::crossType(text), expected);
}

void TestRecognition::slotName_data()
{
    QTest::addColumn<int>("slot");
    QTest::addColumn<QString>("expected");

    QTest::newRow("none") << 0 << QString();
    QTest::newRow("1") << 1 << s("FR");
    QTest::newRow("2") << 2 << s("FL");
    QTest::newRow("3") << 3 << s("BR");
    QTest::newRow("4") << 4 << s("BL");
    QTest::newRow("past the end") << 5 << QString();
    QTest::newRow("negative") << -1 << QString();
}

void TestRecognition::slotName()
{
    QFETCH(int, slot);
    QFETCH(QString, expected);

    QCOMPARE(cube::slotName(slot), expected);
}

void TestRecognition::insertTables_data()
{
    QTest::addColumn<InsertTable>("table");
    QTest::addColumn<QStringList>("algorithms");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("slot");

    for (const Group &group : kGroups) {
        QTest::newRow(group.name) << group.table
                                  << QString::fromLatin1(group.algorithms).split(u'|')
                                  << group.count << group.code << group.slot;
    }
}

void TestRecognition::insertTables()
{
    QFETCH(InsertTable, table);
    QFETCH(QStringList, algorithms);
    QFETCH(int, count);
    QFETCH(int, code);
    QFETCH(int, slot);

    QCOMPARE(algorithms.size(), count);
    for (const QString &algorithm : algorithms) {
        const QStringList texts = {algorithm, s("y' U2 ") + algorithm, algorithm + s(" // pair")};
        for (const QString &text : texts) {
            const InsertEntry *entry = matchInsert(text, table);
            QVERIFY2(entry, qPrintable(text));
            QCOMPARE(QString::fromLatin1(entry->algorithm), algorithm);
            QCOMPARE(entry->type, code);
            QCOMPARE(entry->slot, slot);
        }
    }
}

void TestRecognition::matchInsertRejects_data()
{
    QTest::addColumn<QString>("text");

    QTest::newRow("empty") << QString();
    QTest::newRow("comment only") << s("// R U R'");
    QTest::newRow("no table entry") << s("U R U'");
    // The BR group of code 0 has no "R2 U2' R".
    QTest::newRow("missing BR row") << s("R2 U2' R");
    QTest::newRow("case matters") << s("U r U R'");
    QTest::newRow("trailing rotation") << s("R U R' y");
    QTest::newRow("group without repeat") << s("(R U R')");
    QTest::newRow("two lines") << s("R U R'\nR U R'");
    QTest::newRow("carriage return") << s("U\rR U R'");
}

void TestRecognition::matchInsertRejects()
{
    QFETCH(QString, text);

    QCOMPARE(matchInsert(text, InsertTable::Analysis), nullptr);
    QCOMPARE(matchInsert(text, InsertTable::Calculator), nullptr);
}

void TestRecognition::insertRow_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("direct") << s("R U R'") << s("R U R'\t1\tFR\t3");
    QTest::newRow("F turns are other") << s("U F R F'") << s("F R F'\t0\tFR\t4");
    QTest::newRow("wide direct") << s("f R f'") << s("f R f'\t1\tBR\t3");
    QTest::newRow("slice other") << s("r' U' R U M'") << s("r' U' R U M'\t0\tBR\t5");
    QTest::newRow("with D") << s("R U R' D' // FL") << s("R U R' D'\t2\tFL\t4");
    // The rotation counts no move; d counts as the U it stands for.
    QTest::newRow("rotation and d") << s("y' d R U' R'") << s("R U' R'\t0\tFR\t4");
    QTest::newRow("repeated group") << s("U (R U R')2") << s("R U R'\t1\tFR\t4");
    QTest::newRow("repeat 3") << s("(R U' R')3 // pair") << s("R U' R'\t0\tFR\t3");
    QTest::newRow("comment glued") << s("R U R'// x") << s("R U R'\t1\tFR\t3");
    QTest::newRow("no match") << s("U R U'") << s("\t\t\t3");
    QTest::newRow("single move") << s("U") << s("\t\t\t");
    QTest::newRow("empty") << QString() << s("\t\t\t");
    QTest::newRow("comment only") << s("// R U R'") << s("\t\t\t");
    QTest::newRow("two lines") << s("R U R'\nU") << s("\t\t\t");
}

void TestRecognition::insertRow()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);

    QCOMPARE(cube::insertRow(text), expected);
}

void TestRecognition::insertResult_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("present");
    QTest::addColumn<QString>("algorithm");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("slot");

    QTest::newRow("direct") << s("U' R U R'") << true << s("R U R'") << s("1") << s("FR");
    QTest::newRow("F turns") << s("F R F'") << true << s("F R F'") << s("4") << s("FR");
    QTest::newRow("wide") << s("r B r' // BL") << true << s("r B r'") << s("3") << s("BL");
    QTest::newRow("with u") << s("R' U R u'") << true << s("R' U R u'") << s("2") << s("FR");
    QTest::newRow("repeated group")
        << s("(U R U' R')2") << true << s("R U' R'") << s("0") << s("FR");
    QTest::newRow("no match") << s("U R U'") << true << QString() << s("-1") << QString();
    QTest::newRow("comment only") << s("// FR") << false << QString() << QString() << QString();
    QTest::newRow("empty") << QString() << false << QString() << QString() << QString();
    QTest::newRow("two lines") << s("R U R'\r\nU") << false << QString() << QString() << QString();
}

void TestRecognition::insertResult()
{
    QFETCH(QString, text);
    QFETCH(bool, present);
    QFETCH(QString, algorithm);
    QFETCH(QString, code);
    QFETCH(QString, slot);

    const std::optional<InsertResult> result = cube::insertResult(text);
    QCOMPARE(result.has_value(), present);
    if (!result)
        return;
    QCOMPARE(result->algorithm, algorithm);
    QCOMPARE(result->code, code);
    QCOMPARE(result->slot, slot);
}

void TestRecognition::multiSlot_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<int>("expected");

    QTest::newRow("no steps") << QStringList() << 0;
    QTest::newRow("pairs named apart") << QStringList{s("R U R' // 1st"), s("U R U' // 2nd")} << 0;
    QTest::newRow("1st+2nd then 3rd+4th")
        << QStringList{s("// 1st+2nd"), QString(), s("// 3rd & 4th")} << 3;
    QTest::newRow("last naming step decides")
        << QStringList{s("// 3rd 4th"), s("// 1st 2nd"), s("// pair")} << 1;
    QTest::newRow("2nd+3rd") << QStringList{s("// 2nd and 3rd")} << 2;
    QTest::newRow("three pairs: 2nd+3rd first") << QStringList{s("// 1st 2nd 3rd")} << 2;
    QTest::newRow("case matters") << QStringList{s("// 1ST 2ND")} << 0;
}

void TestRecognition::multiSlot()
{
    QFETCH(QStringList, steps);
    QFETCH(int, expected);

    QCOMPARE(cube::multiSlot(steps), expected);
}

void TestRecognition::lastSlotType_data()
{
    QTest::addColumn<QString>("step");
    QTest::addColumn<QString>("expected");

    QTest::newRow("EOLS") << s("R U R' // EOLS") << s("EOLS");
    QTest::newRow("EO alone") << s("R U R' // EO") << s("EOLS");
    QTest::newRow("WVLS") << s("// WVLS") << s("WVLS");
    QTest::newRow("VLS") << s("// VLS") << s("VLS");
    QTest::newRow("OLS") << s("// OLS") << s("OLS");
    QTest::newRow("CLS") << s("// CLS") << s("CLS");
    QTest::newRow("no keyword") << s("R U R' // pair") << s("None");
    QTest::newRow("empty") << QString() << s("None");
    QTest::newRow("EO then OLS") << s("// EO + OLS") << s("OLS");
    QTest::newRow("CLS wins") << s("// EOLS CLS") << s("CLS");
    QTest::newRow("only the last comment") << s("R U R' // VLS // pair") << s("None");
    QTest::newRow("no comment reads the whole text") << s("R U R' WVLS") << s("WVLS");
    QTest::newRow("case matters") << s("// eols") << s("None");
}

void TestRecognition::lastSlotType()
{
    QFETCH(QString, step);
    QFETCH(QString, expected);

    QCOMPARE(cube::lastSlotType(step), expected);
}

void TestRecognition::llSkips_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<int>("expected");

    QTest::newRow("both solved") << s("F R U R' U' F' // OLL") << s("R U R' F' // PLL") << 0;
    QTest::newRow("AUF first skips both") << s("U // AUF") << s("R U R' F' // PLL") << 3;
    QTest::newRow("empty second") << s("R U R' U' // OLL") << QString() << 2;
    QTest::newRow("U2 second") << s("R U R' U' // OLL") << s("U2") << 2;
    QTest::newRow("AUF second") << s("R U R' U' // OLL") << s("U2 // AUF") << 2;
    QTest::newRow("empty first") << QString() << s("R U R' F'") << 1;
    QTest::newRow("rotation and AUF first") << s("y U' // OLL skip") << s("R U R' F'") << 1;
    QTest::newRow("both empty") << QString() << QString() << 3;
    QTest::newRow("lower-case auf is no tag") << s("R U // auf") << s("R U R'") << 0;
}

void TestRecognition::llSkips()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(int, expected);

    QCOMPARE(cube::llSkips(first, second), expected);
}

void TestRecognition::aufIndices_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<int>("beforeFirst");
    QTest::addColumn<int>("beforeSecond");
    QTest::addColumn<int>("final");

    // Analysis numbering: 1 U3', 2 U3, 3 U2', 4 U2, 5 U', 6 U.
    QTest::newRow("U2' is not U") << s("U R U R' U' // OLL") << s("U2' R U R' // PLL") << 6 << 3
                                  << 0;
    QTest::newRow("second ends with U'")
        << s("F R U R' U' F' // OLL") << s("R U R' U' // PLL") << 0 << 0 << 5;
    QTest::newRow("empty second takes the first's end")
        << s("R U R' U // OLL") << QString() << 0 << 0 << 6;
    QTest::newRow("AUF first, empty second") << s("U2 // AUF") << QString() << 0 << 0 << 4;
    QTest::newRow("AUF first, second without AUF")
        << s("U' // AUF") << s("R U R' F // PLL") << 0 << 0 << 5;
    QTest::newRow("AUF second") << s("R U R' U' // OLL") << s("U3 // AUF") << 0 << 0 << 2;
    QTest::newRow("bare AUF tag second") << s("R U2 // OLL") << s("// AUF") << 0 << 0 << 4;
    QTest::newRow("rotations go, d becomes U")
        << s("y U R U' R' // OLL") << s("y2 U' R U R' d") << 6 << 5 << 6;
    QTest::newRow("pairs cancel first")
        << s("U U R U R' // OLL") << s("R U R' U2 U") << 4 << 0 << 5;
    QTest::newRow("characters, not tokens")
        << s("U2R U R' // OLL") << s("U3' R // PLL") << 4 << 1 << 0;
}

void TestRecognition::aufIndices()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(int, beforeFirst);
    QFETCH(int, beforeSecond);
    QFETCH(int, final);

    const AufIndices result = cube::aufIndices(first, second);
    QCOMPARE(result.beforeFirst, beforeFirst);
    QCOMPARE(result.beforeSecond, beforeSecond);
    QCOMPARE(result.final, final);
}

void TestRecognition::llNames_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<QString>("firstName");
    QTest::addColumn<QString>("secondName");

    QTest::newRow("OLL and PLL") << s("R U // OLL") << s("R // PLL") << s("OLL") << s("PLL");
    QTest::newRow("COLL and EPLL") << s("// COLL") << s("// EPLL") << s("COLL") << s("EPLL");
    QTest::newRow("ZBLL both") << s("// ZBLL") << s("// ZBLL") << s("ZBLL") << s("ZBLL");
    QTest::newRow("OLL(CP)") << s("// OLL(CP)") << QString() << s("OLL(CP)") << QString();
    QTest::newRow("OLLCP kept") << s("// OLLCP") << QString() << s("OLLCP") << QString();
    QTest::newRow("URL-encoded OLL(CP)")
        << s("// OLL%28CP%29") << QString() << s("OLL(CP)") << QString();
    QTest::newRow("2GLL") << s("// 2GLL") << QString() << s("2GLL") << QString();
    QTest::newRow("EO+ZBLL is ZBLL") << s("// EO+ZBLL") << QString() << s("ZBLL") << QString();
    QTest::newRow("1LLL") << s("// 1LLL") << QString() << s("1LLL") << QString();
    QTest::newRow("tag order, not text order")
        << s("// OLL // COLL") << s("// PLL // EPLL") << s("COLL") << s("EPLL");
    QTest::newRow("tags in the wrong step") << s("// PLL") << s("// OLL") << QString() << QString();
    QTest::newRow("needs the blank, case matters")
        << s("//OLL") << s("// pll") << QString() << QString();
}

void TestRecognition::llNames()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(QString, firstName);
    QFETCH(QString, secondName);

    const LlNames names = cube::llNames(first, second);
    QCOMPARE(names.first, firstName);
    QCOMPARE(names.second, secondName);
}

void TestRecognition::ollFamily_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("expected");

    QTest::newRow("1") << s("OLL 1") << s("Dot");
    QTest::newRow("4") << s("OLL 4") << s("Dot");
    QTest::newRow("5") << s("OLL 5") << s("Others");
    QTest::newRow("16") << s("16") << s("Others");
    QTest::newRow("17") << s("OLL 17") << s("Dot");
    QTest::newRow("20") << s("20") << s("Dot");
    QTest::newRow("21") << s("OLL 21") << s("OCLL");
    QTest::newRow("27") << s("27") << s("OCLL");
    QTest::newRow("28") << s("OLL 28") << s("Others");
    QTest::newRow("57") << s("Case 57") << s("Others");
    QTest::newRow("empty") << QString() << s("Dot");
    QTest::newRow("no number") << s("OLL sune") << s("Dot");
    QTest::newRow("number not last") << s("21 OLL") << s("Dot");
    QTest::newRow("trailing blank") << s("OLL 21 ") << s("Dot");
}

void TestRecognition::ollFamily()
{
    QFETCH(QString, field);
    QFETCH(QString, expected);

    QCOMPARE(cube::ollFamily(field), expected);
}

void TestRecognition::lastLayerRow_data()
{
    QTest::addColumn<QString>("row");
    QTest::addColumn<QString>("expected");

    // Fields: first, second, first tag, second tag, first moves, second
    // moves, AUF (1 U, 2 U', 3 U2, 4 U2', 5 U3, 6 U3'), skip mask.
    QTest::newRow("empty row") << QString() << fields("||||0|0|0|3");
    QTest::newRow("line feed") << s("R\nU") << fields("|||||||");
    QTest::newRow("carriage return") << s("R\rU") << fields("|||||||");
    // U' is cut from the end of the first step; its blank stays.
    QTest::newRow("OLL and PLL") << s("R U R' U' // OLL\tR U R' F' // PLL")
                                 << fields("R U R' |R U R' F'|// OLL|// PLL|4|4|0|0");
    QTest::newRow("no tab: second step only")
        << s("U R U' R' U2 // PLL") << fields("| R U' R' ||// PLL|0|5|0|1");
    QTest::newRow("AUF line U2 second")
        << s("R U R' U' // OLL\tU2 // AUF") << fields("R U R' ||// OLL||4|0|3|2");
    QTest::newRow("AUF line U3' second")
        << s("R U R' U' // OLL\tU3' // AUF") << fields("R U R' ||// OLL||4|0|6|2");
    QTest::newRow("AUF line first skips both")
        << s("U' // AUF\tR U R' // PLL") << fields("|R U R'||// PLL|0|3|2|3");
    QTest::newRow("second AUF line wins") << s("U // AUF\tU2 // AUF") << fields("||||0|0|3|3");
    QTest::newRow("OLL(CP) reports OLL")
        << s("R U R' U R U2 R' // OLL(CP)\tR U R' U' // EPLL")
        << fields("R U R' U R U2 R'|R U R' |// OLL|// EPLL|7|4|0|0");
    QTest::newRow("middle cells ignored") << s("F R U R' U' F' // OLL\tx // PLL\tR2 U // PLL")
                                          << fields("F R U R' U' F'|R2 |// OLL|// PLL|6|2|0|0");
    // Moves are counted before U U becomes U2, which is then cut.
    QTest::newRow("cancelled before the cut") << s("R U R' U U") << fields("|R U R' |||0|5|0|1");
    QTest::newRow("single move second")
        << s("R U R' U' // OLL\tU2") << fields("R U R' ||// OLL||4|0|0|2");
    // "U " is not at the front of "U2' R"; "U2' " is, after the end U is cut.
    QTest::newRow("front cut needs a blank")
        << s("U2' R U // PLL") << fields("| R ||// PLL|0|3|0|1");
}

void TestRecognition::lastLayerRow()
{
    QFETCH(QString, row);
    QFETCH(QString, expected);

    QCOMPARE(cube::lastLayerRow(row), expected);
}

QTEST_APPLESS_MAIN(TestRecognition)

#include "tst_recognition.moc"
