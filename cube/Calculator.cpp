#include "Calculator.h"

#include "MoveText.h"
#include "Recognition.h"
#include "ReconstructionText.h"

namespace cube {

namespace {

QString moveCountAnswer(const QString &row)
{
    if (row.contains(QLatin1Char('\n')) || row.contains(QLatin1Char('\r')))
        return QString();
    return QString::number(countMoves(stripComment(row)));
}

QString answer(const QString &row, CalculatorMode mode)
{
    switch (mode) {
    case CalculatorMode::CrossColour:
        return crossColour(row);
    case CalculatorMode::F2LInsert:
        return insertRow(row);
    case CalculatorMode::LastLayer:
        return lastLayerRow(row);
    case CalculatorMode::MoveCount:
        return moveCountAnswer(row);
    }
    return QString();
}

}  // namespace

QString calculatorOutput(const QString &text, CalculatorMode mode)
{
    const QStringList rows = pastedRows(text);
    QString result;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (i > 0)
            result += QLatin1Char('\n');
        result += answer(rows.at(i), mode);
    }
    return result;
}

}  // namespace cube
