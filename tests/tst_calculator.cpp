// The calculator's answers for pasted reconstruction rows, per mode.

#include "Calculator.h"

#include <QTest>

using cube::CalculatorMode;
Q_DECLARE_METATYPE(CalculatorMode)

class TestCalculator : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void output_data();
    void output();
};

void TestCalculator::output_data()
{
    QTest::addColumn<CalculatorMode>("mode");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");

    // An empty paste is one empty row, answered like any other.
    QTest::newRow("empty, cross") << CalculatorMode::CrossColour << QString() << QStringLiteral("Yellow");
    QTest::newRow("empty, f2l") << CalculatorMode::F2LInsert << QString() << QStringLiteral("\t\t\t");
    QTest::newRow("empty, last layer") << CalculatorMode::LastLayer << QString()
                                       << QStringLiteral("\t\t\t\t0\t0\t0\t3");
    QTest::newRow("empty, moves") << CalculatorMode::MoveCount << QString() << QStringLiteral("0");

    QTest::newRow("three rows, one empty") << CalculatorMode::MoveCount
                                           << QStringLiteral("R U R' U'\n\nF R U R' U' F' // OLL")
                                           << QStringLiteral("4\n0\n6");
    QTest::newRow("cross colour per row, cells carry the orientation")
        << CalculatorMode::CrossColour << QStringLiteral("x2\ny2\tx'\nz // z x")
        << QStringLiteral("White\nBlue\nRed");
    QTest::newRow("quoted cell folded into its row")
        << CalculatorMode::MoveCount << QStringLiteral("\"R U\nR' U'\"\nL") << QStringLiteral("4\n0");
    QTest::newRow("pair inserts") << CalculatorMode::F2LInsert
                                  << QStringLiteral("U R U R' // 1st pair\nU R U'\n// 2nd pair\nF R F'")
                                  << QStringLiteral("R U R'\t1\tFR\t4\n\t\t\t3\n\t\t\t\nF R F'\t0\tFR\t3");
    // Only the second cell is analysed without a tab; with one, first and last cells.
    QTest::newRow("last layer, AUF line") << CalculatorMode::LastLayer << QStringLiteral("U2 // AUF")
                                          << QStringLiteral("\t\t\t\t0\t0\t3\t3");
}

void TestCalculator::output()
{
    QFETCH(CalculatorMode, mode);
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(cube::calculatorOutput(input, mode), expected);
}

QTEST_APPLESS_MAIN(TestCalculator)
#include "tst_calculator.moc"
