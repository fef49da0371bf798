// Tests of the move-text toolkit (comments, rotations, cancellation, the
// counting metrics) and of folding pasted reconstruction text into rows.
#include "MoveText.h"
#include "ReconstructionText.h"

#include <QTest>

#include <cstring>
#include <initializer_list>
#include <thread>
#include <utility>

using namespace cube;

namespace {

// The counted letters in share order, spelled out here rather than taken from
// the header so that a reordering there is caught.
constexpr char kShareOrder[] = "RUFLDBMSErufldb";

// Fifteen shares, all 0 except the listed letters.
QList<float> shares(std::initializer_list<std::pair<char, float>> letters)
{
    QList<float> result(15, 0.0f);
    for (const auto &[letter, share] : letters)
        result[qsizetype(std::strchr(kShareOrder, letter) - kShareOrder)] = share;
    return result;
}

using TextOperation = QString (*)(const QString &);
using CountOperation = int32_t (*)(const QString &);

} // namespace

Q_DECLARE_METATYPE(TextOperation)
Q_DECLARE_METATYPE(CountOperation)

class TestMoveText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void textOperations_data();
    void textOperations();
    void normaliseEndsStopsOnHostileInput();
    void stripCommentAnswersEachTextForItself();
    void counts_data();
    void counts();
    void countRotations_data();
    void countRotations();
    void letterShares_data();
    void letterShares();
    void sliceShares_data();
    void sliceShares();
    void pastedRows_data();
    void pastedRows();
};

void TestMoveText::textOperations_data()
{
    QTest::addColumn<TextOperation>("operation");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char *name, TextOperation operation, const char *text,
                        const char *expected) {
        QTest::newRow(name) << operation << QString::fromUtf8(text) << QString::fromUtf8(expected);
    };

    row("stripComment: slashes alone", stripComment, "//", "");
    row("stripComment: comment only", stripComment, "// 1st pair", "");
    row("stripComment: moves, blank, comment", stripComment, "R U // 1st pair", "R U");
    row("stripComment: glued comment keeps the last move", stripComment, "R U R'//x", "R U R'");
    row("stripComment: single leading slash", stripComment, "/R U", "");
    row("stripComment: single slash inside, tab trimmed", stripComment, " R U\t/ D", "R U");

    row("stripRotations: rotations at ends and inside", stripRotations, "y2 R U R' x2' U", "R U R' U");
    row("stripRotations: d becomes U", stripRotations, "d R d2 d'", "U R U2 U'");
    row("stripRotations: repeat marker glued to the group", stripRotations, "(R U R' U')2", "R U R' U'2");
    row("stripRotations: y' goes whole", stripRotations, "y' R (y)", "R");
    row("stripRotations: rotations only", stripRotations, "x y2 z'", "");
    row("stripRotations: rotation glued to a move", stripRotations, "Rx U", "R U");
    row("stripRotations: x3 leaves its digit", stripRotations, "x3 R", "3 R");
    row("stripRotations: four blanks leave one", stripRotations, "R    U", "R U");
    row("stripRotations: five blanks leave two", stripRotations, "R     U", "R  U");

    row("cancelPairs: inverse pair", cancelPairs, "R R' U", "U");
    row("cancelPairs: U' U'", cancelPairs, "U' U'", "U2'");
    row("cancelPairs: U2 U", cancelPairs, "U2 U", "U'");
    row("cancelPairs: U2 U'", cancelPairs, "U2 U'", "U");
    row("cancelPairs: U2' U", cancelPairs, "U2' U", "U'");
    row("cancelPairs: U2' U'", cancelPairs, "U2' U'", "U");
    row("cancelPairs: half turns never merged", cancelPairs, "U2 U2", "U2 U2");
    row("cancelPairs: half plus quarter only for U", cancelPairs, "R2 R", "R2 R");
    row("cancelPairs: pattern does not match a longer token", cancelPairs, "U U2", "U U2");
    row("cancelPairs: one pass of R R R", cancelPairs, "R R R", "R2 R");
    row("cancelPairs: U2 made by rule 1 meets U'", cancelPairs, "U U U'", "U");
    row("cancelPairs: nesting in rule order cancels at once", cancelPairs, "D F L' L F' D'", "");
    row("cancelPairs: nesting against rule order, one layer", cancelPairs, "U R B B' R' U'", "U R R' U'");
    row("cancelPairs: slices untouched, trimmed", cancelPairs, "  M M  ", "M M");

    row("normaliseEnds: AUF in front, y behind", normaliseEnds, "U' R U R' y", "R U R'");
    row("normaliseEnds: AUFs only", normaliseEnds, "U U2", "");
    row("normaliseEnds: y2 in front keeps its digit", normaliseEnds, "y2 R", "2 R");
    row("normaliseEnds: y2 behind stays", normaliseEnds, "R y2", "R y2");
    row("normaliseEnds: U3' and U3", normaliseEnds, "U3' R U3", "R");
    row("normaliseEnds: one entry per pass", normaliseEnds, "U y' U2", "");
    row("normaliseEnds: characters, not tokens", normaliseEnds, "UR", "R");
    row("normaliseEnds: cancelled until unchanged", normaliseEnds, "R U B B' U' R' F", "F");
    row("normaliseEnds: ends not stripped after cancelling", normaliseEnds, "U R B B' R' U' F", "U' F");

    row("foldQuotedCells: three-line cell", foldQuotedCells, "a\t\"R\nU\nF\"\tb", "a\tR U F\tb");
    row("foldQuotedCells: two cells, CR LF and tab", foldQuotedCells, "\"R\tU\"\t\"F\r\nD\"", "R U\tF  D");
    row("foldQuotedCells: single quote loses the last character", foldQuotedCells, "R \"U F", "R U ");
    row("foldQuotedCells: quote as the last character", foldQuotedCells, "R U\"", "R U");
    row("foldQuotedCells: pair, then unpaired", foldQuotedCells, "\"a\nb\" \"c\nd", "a b c\n");
}

void TestMoveText::textOperations()
{
    QFETCH(TextOperation, operation);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(operation(text), expected);
}

void TestMoveText::normaliseEndsStopsOnHostileInput()
{
    // A million nested inverse pairs (5 million characters) whose letters run
    // against the rule order, so that every pass cancels only a layer or two:
    // the fixed point, the empty text, is a million passes away.
    const char letters[] = "URLFDB";
    const int layers = 1'000'000;
    QString text;
    text.reserve(5 * layers);
    for (int i = 0; i < layers; ++i)
        text.append(QLatin1Char(letters[i % 6])).append(u' ');
    for (int i = layers - 1; i >= 0; --i)
        text.append(QLatin1Char(letters[i % 6])).append(u"' ");
    text.chop(1);

    const QString result = cube::normaliseEnds(text);

    // The outer U ... U' is stripped, some inner layers cancel, the shell stays.
    QVERIFY(result.size() < text.size() - 3);
    QCOMPARE(result.left(12), QStringLiteral("R L F D B U "));
    QCOMPARE(result.right(17), QStringLiteral("U' B' D' F' L' R'"));
}

void TestMoveText::counts_data()
{
    QTest::addColumn<CountOperation>("operation");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");
    const auto row = [](const char *name, CountOperation operation, const char *text, int expected) {
        QTest::newRow(name) << operation << QString::fromUtf8(text) << expected;
    };

    row("countMoves: four moves", countMoves, "R U R' U'", 4);
    row("countMoves: single AUF counts 0", countMoves, "U2", 0);
    row("countMoves: empty", countMoves, "", 0);
    row("countMoves: rotation not counted", countMoves, "x R U", 2);
    row("countMoves: comment excluded", countMoves, "R U R' // 3 moves here", 3);
    row("countMoves: group repeat not expanded", countMoves, "(R U)2 R'", 3);
    row("countMoves: slice, wide and half turns count 1", countMoves, "M2 r U2 d", 4);
    row("countMoves: five blanks count as two", countMoves, "R     U", 3);

    row("countGen: three-gen", countGen, "R U R' U' F", 3);
    row("countGen: rotations only", countGen, "x2 y", 0);
    row("countGen: wide and face are different", countGen, "r R", 2);
    row("countGen: group, digits, apostrophes", countGen, "(R U)2 D3'", 3);
    row("countGen: tab and line feed ignored", countGen, "R\tU\nR", 2);
    row("countGen: empty", countGen, "", 0);
}

void TestMoveText::counts()
{
    QFETCH(CountOperation, operation);
    QFETCH(QString, text);
    QFETCH(int, expected);
    QCOMPARE(operation(text), expected);
}

void TestMoveText::countRotations_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("doubleD");
    QTest::addColumn<bool>("withRL");
    QTest::addColumn<int>("full");
    QTest::addColumn<int>("wide");
    QTest::newRow("y and two d, both flags") << "y d R d'" << true << true << 1 << 4;
    QTest::newRow("d counted once") << "y d R d'" << false << false << 1 << 2;
    QTest::newRow("r and l with withRL") << "r U r'" << true << true << 0 << 2;
    QTest::newRow("r and l without withRL") << "r U r'" << true << false << 0 << 0;
    QTest::newRow("suffixes count once") << "x2 y' z" << true << true << 3 << 0;
}

void TestMoveText::countRotations()
{
    QFETCH(QString, text);
    QFETCH(bool, doubleD);
    QFETCH(bool, withRL);
    QFETCH(int, full);
    QFETCH(int, wide);
    const RotationCount count = cube::countRotations(text, doubleD, withRL);
    QCOMPARE(count.full, full);
    QCOMPARE(count.wide, wide);
    QCOMPARE(count.total(), full + wide);
}

void TestMoveText::letterShares_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<float>>("expected");
    QTest::newRow("R and U halves") << "R U R' U'" << shares({{'R', 0.5f}, {'U', 0.5f}});
    QTest::newRow("slices, other letters ignored") << "M U M' U' M2 U2 M' E e x // Ok"
                            << shares({{'M', 0.5f}, {'U', 0.375f}, {'E', 0.125f}});
    QTest::newRow("wide turns") << "r u f l d b R R"
                                << shares({{'r', 0.125f}, {'u', 0.125f}, {'f', 0.125f}, {'l', 0.125f},
                                           {'d', 0.125f}, {'b', 0.125f}, {'R', 0.25f}});
    QTest::newRow("no counted letter gives zeros") << "x y2 z' // ok" << shares({});
}

void TestMoveText::letterShares()
{
    QFETCH(QString, text);
    QFETCH(QList<float>, expected);
    const LetterShares result = cube::letterShares(text);
    QCOMPARE(QList<float>(result.begin(), result.end()), expected);
}

void TestMoveText::sliceShares_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<float>("m");
    QTest::addColumn<float>("u");
    QTest::newRow("three U one M") << "U M U' U2 R" << 0.25f << 0.75f;
    QTest::newRow("thirds") << "M2 U M' E" << 2.0f / 3.0f << 1.0f / 3.0f;
    QTest::newRow("neither gives zeros") << "R F" << 0.0f << 0.0f;
}

void TestMoveText::sliceShares()
{
    QFETCH(QString, text);
    QFETCH(float, m);
    QFETCH(float, u);
    const SliceShares result = cube::sliceShares(text);
    QCOMPARE(result[0], m);
    QCOMPARE(result[1], u);
}

void TestMoveText::pastedRows_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("trailing line feed gives an empty row") << "R\n" << QStringList{"R", ""};
    QTest::newRow("quoted cell spans lines") << "\"R\nU\"\tF\n\nB" << QStringList{"R U\tF", "", "B"};
    QTest::newRow("empty text is one empty row") << "" << QStringList{""};
}

void TestMoveText::pastedRows()
{
    QFETCH(QString, text);
    QFETCH(QStringList, expected);
    QCOMPARE(cube::pastedRows(text), expected);
}

// Recent results are kept per thread: texts of one length, many more than
// are kept and asked for in turns (some equal in content but separate
// copies), must each get their own answer, on two threads at once.
void TestMoveText::stripCommentAnswersEachTextForItself()
{
    const auto check = [](int salt, QStringList *failures) {
        for (int round = 0; round < 3; ++round) {
            for (int i = 0; i < 20; ++i) {
                const QString moves = QStringLiteral("R%1 U%2").arg(i % 10).arg((i + salt) % 10);
                const QString text = moves + QStringLiteral(" // pair");  // same length for every i
                const QString copy(text.constData(), text.size());       // equal text, other buffer
                for (const QString &input : {text, copy}) {
                    if (cube::stripComment(input) != moves)
                        failures->append(input);
                }
            }
        }
    };
    QStringList failures[2];
    std::thread other(check, 3, &failures[1]);
    check(0, &failures[0]);
    other.join();
    QCOMPARE(failures[0], QStringList());
    QCOMPARE(failures[1], QStringList());
}

QTEST_APPLESS_MAIN(TestMoveText)
#include "tst_movetext.moc"
