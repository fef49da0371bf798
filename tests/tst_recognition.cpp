// Tests of the recognisers: cross colour and type, F2L inserts and their
// tables, pair combinations, last-slot types and the last-layer readers.
#include "Recognition.h"

#include <QTest>

using namespace cube;

namespace {

constexpr InsertTable A = InsertTable::Analysis;
constexpr InsertTable C = InsertTable::Calculator;

// The insert tables as typed from the algorithm list, one string per
// (code, slot) group, algorithms separated by "|". Slots: 1 FR, 2 FL, 3 BR, 4 BL.
struct Group
{
    InsertTable table;
    int code;
    int slot;
    const char *algorithms;
};

const Group kGroups[] = {
    {A, 1, 1, "R U R'|R2 U R'|R2' U R'"},
    {A, 0, 1, "R U' R'|R U2 R'|R U2' R'|R U U R'|R U' U' R'|R2 U' R'|R2 U2 R'|R2 U2' R'|R2' U' R'|R2' U2 R'|R2' U2' R'"},
    {A, 1, 2, "L' U' L|L2' U' L|L2 U' L"},
    {A, 0, 2, "L' U L|L' U2 L|L' U2' L|L' U U L|L' U' U' L|L2' U L|L2' U2 L|L2' U2' L|L2 U L|L2 U2 L|L2 U2' L"},
    {A, 1, 3, "R' U' R|R2' U' R|R2 U' R"},
    {A, 0, 3, "R' U R|R' U2 R|R' U2' R|R' U U R|R' U' U' R|R2' U R|R2' U2 R|R2' U2' R|R2 U R|R2 U2 R"},
    {A, 1, 4, "L U L'|L2 U L'|L2' U L'"},
    {A, 0, 4, "L U' L'|L U2 L'|L U2' L'|L U U L'|L U' U' L'|L2 U' L'|L2 U2 L'|L2 U2' L'|L2' U' L'|L2' U2 L'|L2' U2' L'"},
    {A, 2, 1, "R' U R D'|R' U' R D'|R' U2 R D'|R' U2' R D'|L' U L D|L' U' L D|L' U2 L D|L' U2' L D|R' U R u'|R' U' R u'"},
    {A, 2, 2, "R U' R' D'|R U R' D'|R U2 R' D'|R U2' R' D'|R U R' u'|R U' R' u'|L U L' D|L U' L' D|L U2 L' D|L U2' L' D"},
    {A, 2, 3, "L U L' D'|L U' L' D'|L U2 L' D'|L U2' L' D'|R U R' D|R U' R' D|R U2 R' D|R U2' R' D"},
    {A, 2, 4, "L' U L D'|L' U' L D'|L' U2 L D'|L' U2' L D'|R' U R D|R' U' R D|R' U2 R D|R' U2' R D"},
    {A, 3, 1, "l F' l'"},
    {A, 3, 2, "r' F r"},
    {A, 3, 3, "f R f'|f R' f'|r' U' R U M'"},
    {A, 3, 4, "r B r'|f' L' f|f' L f|l U L' U' M'"},
    {A, 4, 1, "F' U' F|F' U F|F' U2 F|F' U2' F|F R F'"},
    {A, 4, 2, "F U F'|F U' F'|F U2 F'|F U2' F'|F' L' F"},

    {C, 1, 1, "R U R'|F' U' F|R2 U R'|R2' U R'"},
    {C, 0, 1, "R U' R'|R U2 R'|R U2' R'|R U U R'|R U' U' R'|R2 U' R'|R2 U2 R'|R2 U2' R'|R2' U' R'|R2' U2 R'|R2' U2' R'|"
              "l F' l'|F' U F|F' U2 F|F' U2' F|F R F'"},
    {C, 1, 2, "L' U' L|F U F'|L2' U' L|L2 U' L"},
    {C, 0, 2, "L' U L|L' U2 L|L' U2' L|L' U U L|L' U' U' L|L2' U L|L2' U2 L|L2' U2' L|L2 U L|L2 U2 L|L2 U2' L|"
              "r' F r|F U' F'|F U2 F'|F U2' F'|F' L' F"},
    {C, 1, 3, "R' U' R|f R f'|R2' U' R|R2 U' R"},
    {C, 0, 3, "R' U R|R' U2 R|R' U2' R|R' U U R|R' U' U' R|R2' U R|R2' U2 R|R2' U2' R|R2 U R|R2 U2 R|f R' f'|r' U' R U M'"},
    {C, 1, 4, "L U L'|r B r'|f' L' f|L2 U L'|L2' U L'"},
    {C, 0, 4, "L U' L'|L U2 L'|L U2' L'|L U U L'|L U' U' L'|L2 U' L'|L2 U2 L'|L2 U2' L'|L2' U' L'|L2' U2 L'|L2' U2' L'|"
              "f' L f|l U L' U' M'"},
    {C, 2, 1, "R' U R D'|R' U' R D'|R' U2 R D'|R' U2' R D'|L' U L D|L' U' L D|L' U2 L D|L' U2' L D|R' U R u'|R' U' R u'"},
    {C, 2, 2, "R U' R' D'|R U R' D'|R U2 R' D'|R U2' R' D'|R U R' u'|R U' R' u'|L U L' D|L U' L' D|L U2 L' D|L U2' L' D"},
    {C, 2, 3, "L U L' D'|L U' L' D'|L U2 L' D'|L U2' L' D'|R U R' D|R U' R' D|R U2 R' D|R U2' R' D"},
    {C, 2, 4, "L' U L D'|L' U' L D'|L' U2 L D'|L' U2' L D'|R' U R D|R' U' R D|R' U2 R D|R' U2' R D"},
};

QString entryText(const InsertEntry *e)
{
    return e ? QStringLiteral("%1 %2 %3").arg(QString::fromLatin1(e->algorithm)).arg(e->type).arg(e->slot)
             : QStringLiteral("-");
}

// Each recogniser reduced to text: `a` (and `b` for the two-step readers) in, text out.
enum Fn { CrossColour, CrossType, CrossType2, SlotName, Match, InsertRow, InsertRes, MultiSlot, LastSlot, LlSkips, Auf, Names,
          OllFamily, LastLayer };
const char *const kFnNames[] = {"crossColour", "crossType", "crossType of two", "slotName", "matchInsert", "insertRow", "insertResult",
                                "multiSlot", "lastSlotType", "llSkips", "aufIndices", "llNames", "ollFamily",
                                "lastLayerRow"};

QString apply(int fn, const QString &a, const QString &b)
{
    switch (fn) {
    case CrossColour: return crossColour(a);
    case CrossType: return QString::number(crossType(a));
    case CrossType2: {
        // Two steps read as one text joined by a tab, which no keyword spans.
        const int32_t joined = crossType(a + u'\t' + b);
        const int32_t apart = crossType(a, b);
        return joined == apart ? QString::number(apart) : QStringLiteral("%1 joined, %2 apart").arg(joined).arg(apart);
    }
    case SlotName: return slotName(a.toInt());
    case Match: return entryText(matchInsert(a, A)) + u'/' + entryText(matchInsert(a, C));
    case InsertRow: return insertRow(a);
    case InsertRes: {
        const std::optional<InsertResult> r = insertResult(a);
        return r ? r->algorithm + u'|' + r->code + u'|' + r->slot : QStringLiteral("none");
    }
    case MultiSlot: return QString::number(multiSlot(a.isEmpty() ? QStringList() : a.split(u'|')));
    case LastSlot: return lastSlotType(a);
    case LlSkips: return QString::number(llSkips(a, b));
    case Auf: {
        const AufIndices r = aufIndices(a, b);
        return QStringLiteral("%1 %2 %3").arg(r.beforeFirst).arg(r.beforeSecond).arg(r.final);
    }
    case Names: {
        const cube::LlNames r = llNames(a, b);
        return r.first + u'|' + r.second;
    }
    case OllFamily: return ollFamily(a);
    case LastLayer: return lastLayerRow(a).replace(u'\t', u'|');
    }
    return {};
}

void row(int fn, const char *name, const char *a, const char *expected)
{
    QTest::addRow("%s: %s", kFnNames[fn], name) << fn << QString::fromUtf8(a) << QString() << QString::fromUtf8(expected);
}

void row2(int fn, const char *name, const char *a, const char *b, const char *expected)
{
    QTest::addRow("%s: %s", kFnNames[fn], name)
        << fn << QString::fromUtf8(a) << QString::fromUtf8(b) << QString::fromUtf8(expected);
}

}  // namespace

class TestRecognition : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void insertTables_data();
    void insertTables();
    void recognisers_data();
    void recognisers();
};

void TestRecognition::insertTables_data()
{
    QTest::addColumn<int>("table");
    QTest::addColumn<QStringList>("algorithms");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("slot");

    for (const Group &g : kGroups) {
        QTest::addRow("%s %d %d", g.table == A ? "analysis" : "calculator", g.code, g.slot)
            << int(g.table) << QString::fromLatin1(g.algorithms).split(u'|') << g.code << g.slot;
    }
}

// Each algorithm is found alone, after other moves (as a real pair step has
// them) and before a comment, with its code and slot.
void TestRecognition::insertTables()
{
    QFETCH(int, table);
    QFETCH(QStringList, algorithms);
    QFETCH(int, code);
    QFETCH(int, slot);

    for (const QString &algorithm : algorithms) {
        for (const QString &text : QStringList{algorithm, "y' U2 " + algorithm, algorithm + " // pair"}) {
            const QString expected = QStringLiteral("%1 %2 %3").arg(algorithm).arg(code).arg(slot);
            QCOMPARE(entryText(matchInsert(text, InsertTable(table))), expected);
        }
    }
}

void TestRecognition::recognisers_data()
{
    QTest::addColumn<int>("fn");
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<QString>("expected");

    row(CrossColour, "empty", "", "Yellow");
    row(CrossColour, "face turns only", "R U R' F", "Yellow");
    row(CrossColour, "x2", "x2", "White");
    row(CrossColour, "z'", "z'", "Orange");
    row(CrossColour, "z", "z", "Red");
    row(CrossColour, "x", "x", "Blue");
    row(CrossColour, "x'", "x'", "Green");
    row(CrossColour, "y2 x'", "y2 x'", "Blue");
    row(CrossColour, "y x", "y x", "Orange");
    row(CrossColour, "d keeps the bottom", "d", "Yellow");
    row(CrossColour, "M is an x'", "R M", "Green");
    row(CrossColour, "comment ignored", "x2 // zx", "White");
    row(CrossColour, "orientation carries over cells", "x\tR x", "White");
    row(CrossColour, "slash ends its cell only", "x // x\tx", "White");
    row(CrossColour, "empty cells", "\t\tz", "Red");

    row(CrossType, "no keyword", "R U // cross", "0");
    row(CrossType, "xcross mixed case", "R U // XCross", "1");
    row(CrossType, "empty", "", "0");
    row(CrossType, "xxcross", "R U // xxcross", "2");
    row(CrossType, "xxcross capitals", "// XXCROSS", "2");
    row(CrossType, "pseudo xcross is an xcross", "// pseudo xcross", "1");
    row(CrossType, "pseudo", "// Pseudo cross", "3");
    row(CrossType, "partial", "// PARTIAL", "3");
    row(CrossType, "keyword in the next step", "R U\tL' // xcross", "1");
    row(CrossType, "hyphenated is not a keyword", "// x-cross", "0");
    // Non-ASCII text is lower-cased as a whole: the dotted capital I becomes
    // "i" and a combining dot, so it spells no "partial".
    row(CrossType, "dotted capital I", "// PART\u0130AL", "0");
    row(CrossType, "non-ASCII elsewhere, keyword in capitals", "// \u00C9 XCROSS", "1");
    row2(CrossType2, "keyword in the first", "// xcross", "R U", "1");
    row2(CrossType2, "keyword in the second", "R U", "// pseudo", "3");
    row2(CrossType2, "the higher of the two", "// xcross", "// XXCROSS", "2");
    row2(CrossType2, "split keyword spells nothing", "// xcr", "oss", "0");
    row2(CrossType2, "non-ASCII in one", "// \u00E9", "// Partial", "3");
    row2(CrossType2, "both empty", "", "", "0");

    const char *const slots[] = {"", "FR", "FL", "BR", "BL", ""};
    for (int slot = -1; slot <= 5; ++slot)
        row(SlotName, qPrintable(QString::number(slot)), qPrintable(QString::number(slot)), slots[qMax(slot, 0)]);

    // Nothing found in either table.
    row(Match, "empty", "", "-/-");
    row(Match, "comment only", "// R U R'", "-/-");
    row(Match, "no table entry", "U R U'", "-/-");
    row(Match, "the BR group of code 0 has no R2 U2' R", "R2 U2' R", "-/-");
    row(Match, "case matters", "U r U R'", "-/-");
    row(Match, "trailing rotation", "R U R' y", "-/-");
    row(Match, "group without repeat", "(R U R')", "-/-");
    row(Match, "two lines", "R U R'\nR U R'", "-/-");
    row(Match, "carriage return", "U\rR U R'", "-/-");

    // Algorithm, code, slot, move count.
    row(InsertRow, "direct", "R U R'", "R U R'\t1\tFR\t3");
    row(InsertRow, "F turns are other", "U F R F'", "F R F'\t0\tFR\t4");
    row(InsertRow, "wide direct", "f R f'", "f R f'\t1\tBR\t3");
    row(InsertRow, "slice other", "r' U' R U M'", "r' U' R U M'\t0\tBR\t5");
    row(InsertRow, "with D", "R U R' D' // FL", "R U R' D'\t2\tFL\t4");
    row(InsertRow, "rotation counts nothing, d counts as U", "y' d R U' R'", "R U' R'\t0\tFR\t4");
    row(InsertRow, "repeated group", "U (R U R')2", "R U R'\t1\tFR\t4");
    row(InsertRow, "repeat 3", "(R U' R')3 // pair", "R U' R'\t0\tFR\t3");
    row(InsertRow, "comment glued", "R U R'// x", "R U R'\t1\tFR\t3");
    row(InsertRow, "no match", "U R U'", "\t\t\t3");
    row(InsertRow, "single move", "U", "\t\t\t");
    row(InsertRow, "empty", "", "\t\t\t");
    row(InsertRow, "comment only", "// R U R'", "\t\t\t");
    row(InsertRow, "two lines", "R U R'\nU", "\t\t\t");

    row(InsertRes, "direct", "U' R U R'", "R U R'|1|FR");
    row(InsertRes, "F turns", "F R F'", "F R F'|4|FR");
    row(InsertRes, "wide", "r B r' // BL", "r B r'|3|BL");
    row(InsertRes, "with u", "R' U R u'", "R' U R u'|2|FR");
    row(InsertRes, "repeated group", "(U R U' R')2", "R U' R'|0|FR");
    row(InsertRes, "no match", "U R U'", "|-1|");
    row(InsertRes, "comment only", "// FR", "none");
    row(InsertRes, "empty", "", "none");
    row(InsertRes, "two lines", "R U R'\r\nU", "none");

    // Steps separated by "|".
    row(MultiSlot, "no steps", "", "0");
    row(MultiSlot, "pairs named apart", "R U R' // 1st|U R U' // 2nd", "0");
    row(MultiSlot, "1st+2nd then 3rd+4th", "// 1st+2nd||// 3rd & 4th", "3");
    row(MultiSlot, "last naming step decides", "// 3rd 4th|// 1st 2nd|// pair", "1");
    row(MultiSlot, "2nd+3rd", "// 2nd and 3rd", "2");
    row(MultiSlot, "three pairs: 2nd+3rd first", "// 1st 2nd 3rd", "2");
    row(MultiSlot, "case matters", "// 1ST 2ND", "0");

    row(LastSlot, "EOLS", "R U R' // EOLS", "EOLS");
    row(LastSlot, "EO alone", "R U R' // EO", "EOLS");
    row(LastSlot, "WVLS", "// WVLS", "WVLS");
    row(LastSlot, "VLS", "// VLS", "VLS");
    row(LastSlot, "OLS", "// OLS", "OLS");
    row(LastSlot, "CLS", "// CLS", "CLS");
    row(LastSlot, "no keyword", "R U R' // pair", "None");
    row(LastSlot, "empty", "", "None");
    row(LastSlot, "EO then OLS", "// EO + OLS", "OLS");
    row(LastSlot, "CLS wins", "// EOLS CLS", "CLS");
    row(LastSlot, "only the last comment", "R U R' // VLS // pair", "None");
    row(LastSlot, "no comment reads the whole text", "R U R' WVLS", "WVLS");
    row(LastSlot, "case matters", "// eols", "None");

    row2(LlSkips, "both solved", "F R U R' U' F' // OLL", "R U R' F' // PLL", "0");
    row2(LlSkips, "AUF first skips both", "U // AUF", "R U R' F' // PLL", "3");
    row2(LlSkips, "empty second", "R U R' U' // OLL", "", "2");
    row2(LlSkips, "U2 second", "R U R' U' // OLL", "U2", "2");
    row2(LlSkips, "AUF second", "R U R' U' // OLL", "U2 // AUF", "2");
    row2(LlSkips, "empty first", "", "R U R' F'", "1");
    row2(LlSkips, "rotation and AUF first", "y U' // OLL skip", "R U R' F'", "1");
    row2(LlSkips, "both empty", "", "", "3");
    row2(LlSkips, "lower-case auf is no tag", "R U // auf", "R U R'", "0");

    // Before first, before second, final. Numbering: 1 U3', 2 U3, 3 U2', 4 U2, 5 U', 6 U.
    row2(Auf, "U2' is not U", "U R U R' U' // OLL", "U2' R U R' // PLL", "6 3 0");
    row2(Auf, "second ends with U'", "F R U R' U' F' // OLL", "R U R' U' // PLL", "0 0 5");
    row2(Auf, "empty second takes the first's end", "R U R' U // OLL", "", "0 0 6");
    row2(Auf, "AUF first, empty second", "U2 // AUF", "", "0 0 4");
    row2(Auf, "AUF first, second without AUF", "U' // AUF", "R U R' F // PLL", "0 0 5");
    row2(Auf, "AUF second", "R U R' U' // OLL", "U3 // AUF", "0 0 2");
    row2(Auf, "bare AUF tag second", "R U2 // OLL", "// AUF", "0 0 4");
    row2(Auf, "rotations go, d becomes U", "y U R U' R' // OLL", "y2 U' R U R' d", "6 5 6");
    row2(Auf, "pairs cancel first", "U U R U R' // OLL", "R U R' U2 U", "4 0 5");
    row2(Auf, "characters, not tokens", "U2R U R' // OLL", "U3' R // PLL", "4 1 0");

    row2(Names, "OLL and PLL", "R U // OLL", "R // PLL", "OLL|PLL");
    row2(Names, "COLL and EPLL", "// COLL", "// EPLL", "COLL|EPLL");
    row2(Names, "ZBLL both", "// ZBLL", "// ZBLL", "ZBLL|ZBLL");
    row2(Names, "OLL(CP)", "// OLL(CP)", "", "OLL(CP)|");
    row2(Names, "OLLCP kept", "// OLLCP", "", "OLLCP|");
    row2(Names, "URL-encoded OLL(CP)", "// OLL%28CP%29", "", "OLL(CP)|");
    row2(Names, "2GLL", "// 2GLL", "", "2GLL|");
    row2(Names, "EO+ZBLL is ZBLL", "// EO+ZBLL", "", "ZBLL|");
    row2(Names, "1LLL", "// 1LLL", "", "1LLL|");
    row2(Names, "tag order, not text order", "// OLL // COLL", "// PLL // EPLL", "COLL|EPLL");
    row2(Names, "tags in the wrong step", "// PLL", "// OLL", "|");
    row2(Names, "needs the blank, case matters", "//OLL", "// pll", "|");

    row(OllFamily, "1", "OLL 1", "Dot");
    row(OllFamily, "4", "OLL 4", "Dot");
    row(OllFamily, "5", "OLL 5", "Others");
    row(OllFamily, "16", "16", "Others");
    row(OllFamily, "17", "OLL 17", "Dot");
    row(OllFamily, "20", "20", "Dot");
    row(OllFamily, "21", "OLL 21", "OCLL");
    row(OllFamily, "27", "27", "OCLL");
    row(OllFamily, "28", "OLL 28", "Others");
    row(OllFamily, "57", "Case 57", "Others");
    row(OllFamily, "empty", "", "Dot");
    row(OllFamily, "no number", "OLL sune", "Dot");
    row(OllFamily, "number not last", "21 OLL", "Dot");
    row(OllFamily, "trailing blank", "OLL 21 ", "Dot");

    // Fields: first, second, first tag, second tag, first moves, second
    // moves, AUF (1 U, 2 U', 3 U2, 4 U2', 5 U3, 6 U3'), skip mask.
    row(LastLayer, "empty row", "", "||||0|0|0|3");
    row(LastLayer, "line feed", "R\nU", "|||||||");
    row(LastLayer, "carriage return", "R\rU", "|||||||");
    row(LastLayer, "U' cut from the first, its blank stays", "R U R' U' // OLL\tR U R' F' // PLL",
        "R U R' |R U R' F'|// OLL|// PLL|4|4|0|0");
    row(LastLayer, "no tab: second step only", "U R U' R' U2 // PLL", "| R U' R' ||// PLL|0|5|0|1");
    row(LastLayer, "AUF line U2 second", "R U R' U' // OLL\tU2 // AUF", "R U R' ||// OLL||4|0|3|2");
    row(LastLayer, "AUF line U3' second", "R U R' U' // OLL\tU3' // AUF", "R U R' ||// OLL||4|0|6|2");
    row(LastLayer, "AUF line first skips both", "U' // AUF\tR U R' // PLL", "|R U R'||// PLL|0|3|2|3");
    row(LastLayer, "second AUF line wins", "U // AUF\tU2 // AUF", "||||0|0|3|3");
    row(LastLayer, "OLL(CP) reports OLL", "R U R' U R U2 R' // OLL(CP)\tR U R' U' // EPLL",
        "R U R' U R U2 R'|R U R' |// OLL|// EPLL|7|4|0|0");
    row(LastLayer, "middle cells ignored", "F R U R' U' F' // OLL\tx // PLL\tR2 U // PLL",
        "F R U R' U' F'|R2 |// OLL|// PLL|6|2|0|0");
    row(LastLayer, "moves counted before U U becomes U2 and is cut", "R U R' U U", "|R U R' |||0|5|0|1");
    row(LastLayer, "single move second", "R U R' U' // OLL\tU2", "R U R' ||// OLL||4|0|0|2");
    // "U " is not at the front of "U2' R"; "U2' " is, after the end U is cut.
    row(LastLayer, "front cut needs a blank", "U2' R U // PLL", "| R ||// PLL|0|3|0|1");
}

void TestRecognition::recognisers()
{
    QFETCH(int, fn);
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(QString, expected);

    QCOMPARE(apply(fn, a, b), expected);
}

QTEST_APPLESS_MAIN(TestRecognition)

#include "tst_recognition.moc"
