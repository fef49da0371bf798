// Fuzz target for the solve database reader and the solve tables: any bytes
// must load, and nothing printed may hold "nan" or "inf".

#include "SolveDatabase.h"
#include "SolveList.h"
#include "SolveTables.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const db::SolveDatabase database = db::parseDatabase(text, db::chooseDelimiter(text));
    const std::vector<int32_t> shown = db::filterSolves(database.solves, db::FilterSelection{});
    if (shown.size() != database.solves.size())
        std::abort();

    QString output = db::statsText(database.solves, shown);
    for (const char *method : {"CFOP", "Roux", "Any"})
        output += db::solveTable(database.solves, shown, QString::fromLatin1(method), true);
    for (int32_t index : shown)
        output += db::solveListText(database.solves[size_t(index)]);
    if (output.contains(QLatin1String("nan"), Qt::CaseInsensitive)
        || output.contains(QLatin1String("inf"), Qt::CaseInsensitive)) {
        // Only the input's own texts may spell these words.
        if (!text.contains(QLatin1String("nan"), Qt::CaseInsensitive)
            && !text.contains(QLatin1String("inf"), Qt::CaseInsensitive))
            std::abort();
    }
    return 0;
}
