// Tests of the whole-cube orientation model: colour names, the quarter-turn
// cycles and the rotations applied by scanning a move text.
#include "CubeOrientation.h"

#include <QTest>

using namespace cube;

class TestOrientation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void colourName_data();
    void colourName();
    void quarterTurn_data();
    void quarterTurn();
    void applyText_data();
    void applyText();
};

void TestOrientation::colourName_data()
{
    QTest::addColumn<int>("colour");
    QTest::addColumn<QString>("expected");
    QTest::newRow("0") << 0 << "Yellow";
    QTest::newRow("2") << 2 << "Orange";
    QTest::newRow("5") << 5 << "White";
    QTest::newRow("below range") << -1 << "";
    QTest::newRow("above range") << 6 << "";
}

void TestOrientation::colourName()
{
    QFETCH(int, colour);
    QFETCH(QString, expected);
    QCOMPARE(cube::colourName(colour), expected);
}

void TestOrientation::quarterTurn_data()
{
    QTest::addColumn<int>("axis");
    QTest::addColumn<int>("face");
    QTest::addColumn<bool>("prime");
    QTest::addColumn<int>("expected");
    QTest::newRow("yellow axis forward wraps") << 0 << 4 << false << 1;
    QTest::newRow("yellow axis backward") << 0 << 1 << true << 4;
    QTest::newRow("white axis runs the other way") << 5 << 1 << false << 4;
    QTest::newRow("white axis primed runs forward") << 5 << 1 << true << 2;
    QTest::newRow("blue axis forward") << 1 << 0 << false << 4;
    QTest::newRow("green axis backward") << 3 << 0 << false << 2;
    QTest::newRow("orange axis forward") << 2 << 5 << false << 3;
    QTest::newRow("axis colour unchanged") << 0 << 0 << false << 0;
    QTest::newRow("opposite colour unchanged") << 2 << 4 << true << 4;
}

void TestOrientation::quarterTurn()
{
    QFETCH(int, axis);
    QFETCH(int, face);
    QFETCH(bool, prime);
    QFETCH(int, expected);
    QCOMPARE(cube::quarterTurn(axis, face, prime), expected);
}

void TestOrientation::applyText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("bottom");
    QTest::addColumn<int>("back");
    QTest::newRow("face turns only") << "R U R' F2 D' B L" << 0 << 1;
    QTest::newRow("empty") << "" << 0 << 1;
    QTest::newRow("x2") << "x2" << 5 << 3;
    QTest::newRow("z2") << "z2" << 5 << 1;
    QTest::newRow("y: left to back") << "y" << 0 << 2;
    QTest::newRow("z': left to bottom") << "z'" << 2 << 1;
    QTest::newRow("x: back down, top to back") << "x" << 1 << 5;
    QTest::newRow("x': front down, bottom to back") << "x'" << 3 << 0;
    // After x2 white is down and green at the back, orange still on the left.
    QTest::newRow("x from white down") << "x2 x" << 3 << 0;
    // After z red is down and yellow on the left, which y brings to the back.
    QTest::newRow("y from red down") << "z y" << 4 << 0;
    QTest::newRow("y then y'") << "y y'" << 0 << 1;
    QTest::newRow("d like y'") << "d" << 0 << 4;
    QTest::newRow("r like x") << "r" << 1 << 5;
    QTest::newRow("x2' is two quarter turns") << "x2'" << 5 << 3;
    QTest::newRow("x3 is one x") << "x3" << 1 << 5;
    QTest::newRow("suffixes after face turns ignored") << "R2 U' x" << 1 << 5;
    QTest::newRow("y2 x' gives blue") << "y2 x'" << 1 << 0;
    QTest::newRow("y x gives orange") << "y x" << 2 << 5;
    QTest::newRow("E like y'") << "E" << 0 << 4;
    QTest::newRow("E2 like y2") << "E2" << 0 << 3;
    QTest::newRow("M' like x") << "M'" << 1 << 5;
    QTest::newRow("l like x'") << "l" << 3 << 0;
    QTest::newRow("S and f like z") << "S f" << 5 << 1;
    QTest::newRow("b like z'") << "b" << 2 << 1;
    QTest::newRow("comment ignored") << "x2 // z x" << 5 << 3;
    QTest::newRow("single slash stops the scan") << "R/x" << 0 << 1;
}

void TestOrientation::applyText()
{
    QFETCH(QString, text);
    QFETCH(int, bottom);
    QFETCH(int, back);
    const CubeOrientation result = cube::applyText(CubeOrientation{}, text);
    QCOMPARE(result.bottom, bottom);
    QCOMPARE(result.back, back);
}

QTEST_APPLESS_MAIN(TestOrientation)
#include "tst_orientation.moc"
