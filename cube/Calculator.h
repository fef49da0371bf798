#pragma once

#include <QString>

// Answers of the Cross and F2L calculator for reconstruction rows pasted from a spreadsheet.
namespace cube {

// Modes in the order of the calculator's mode box.
enum class CalculatorMode { CrossColour = 0, F2LInsert = 1, LastLayer = 2, MoveCount = 3 };

// One answer row per pasted row (quoted cells folded first), joined by line feeds.
QString calculatorOutput(const QString &text, CalculatorMode mode);

}  // namespace cube
