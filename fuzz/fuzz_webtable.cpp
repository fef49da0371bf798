// Fuzz target for the conversion of a solve table copied from the web site:
// any text either converts to one line of database columns or is refused
// with a reason, and the marks written are numbers.

#include "SolveTables.h"

#include <QString>
#include <QStringList>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    QString error;
    const std::optional<QString> converted = db::convertWebTable(text, &error);
    if (!converted) {
        if (error.isEmpty())
            std::abort();
        return 0;
    }
    // One line: a line feed would split the row when pasted into the database.
    if (converted->contains(QLatin1Char('\n')))
        std::abort();
    // The line ends in the fixed fields and the move count.
    const QStringList fields = converted->split(QLatin1Char('\t'));
    if (fields.size() < 9 || fields.at(fields.size() - 4) != QLatin1String("Time")
        || fields.at(fields.size() - 3) != QLatin1String("30"))
        std::abort();
    bool ok = false;
    if (fields.last().toLongLong(&ok) < 0 || !ok)
        std::abort();
    // Converting is a function of the text alone.
    if (db::convertWebTable(text) != converted)
        std::abort();
    return 0;
}
