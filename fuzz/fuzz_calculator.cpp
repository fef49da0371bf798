// Fuzz target for the Cross and F2L calculator's pasted input: whatever a
// spreadsheet puts on the clipboard, every mode answers one row per pasted
// row, each answer in the shape its column layout expects.

#include "Calculator.h"
#include "ReconstructionText.h"

#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

// Tabs per answer row: the insert row has four fields, the last-layer row eight.
qsizetype expectedTabs(cube::CalculatorMode mode)
{
    switch (mode) {
    case cube::CalculatorMode::F2LInsert:
        return 3;
    case cube::CalculatorMode::LastLayer:
        return 7;
    case cube::CalculatorMode::CrossColour:
    case cube::CalculatorMode::MoveCount:
        return 0;
    }
    return -1;
}

bool isCount(const QString &answer)
{
    for (QChar c : answer) {
        if (!c.isDigit())
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const qsizetype rows = cube::pastedRows(text).size();
    for (int m = 0; m < 4; ++m) {
        const auto mode = static_cast<cube::CalculatorMode>(m);
        const QString output = cube::calculatorOutput(text, mode);
        const QStringList answers = output.split(QLatin1Char('\n'));
        if (rows > 0 && answers.size() != rows)
            std::abort();
        for (const QString &answer : answers) {
            if (mode != cube::CalculatorMode::CrossColour && !answer.isEmpty()
                && answer.count(QLatin1Char('\t')) != expectedTabs(mode))
                std::abort();
            if (mode == cube::CalculatorMode::MoveCount && !isCount(answer))
                std::abort();
        }
    }
    return 0;
}
