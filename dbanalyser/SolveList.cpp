#include "SolveList.h"

#include <QStringView>

#include <algorithm>
#include <cmath>
#include <utility>

namespace db {

namespace {

using Records = std::vector<cube::SolveRecord>;

// The entry a box's position selects for filtering; empty for position 0
// (the "any" entry) and for positions outside the entries.
QString entryAt(const QStringList &entries, int position)
{
    return position > 0 && position < entries.size() ? entries.at(position) : QString();
}

bool validIndex(const Records &solves, int32_t index)
{
    return index >= 0 && size_t(index) < solves.size();
}

// The PLL name a pllAlg field gives: its first blank-separated word, less a
// trailing "-perm" ("Ua-perm" -> "Ua", "Ua perm" -> "Ua", "ua" -> "ua").
// The PLL filter reads the database's own column rather than the recognised
// pllName: the reconstructor wrote the case down, also where recognition
// from the move text gives up.
QStringView pllNameOf(const QString &pllAlg)
{
    QStringView word = QStringView(pllAlg).trimmed();
    for (qsizetype i = 0; i < word.size(); ++i) {
        if (word.at(i).isSpace()) {
            word = word.left(i);
            break;
        }
    }
    if (word.endsWith(u"-perm", Qt::CaseInsensitive))
        word.chop(5);
    return word;
}

// The typed filter as a predicate on one record.
struct TypedFilter
{
    enum class Kind { None, Nothing, Below, AtLeastReal, Cross, SkipBits, SkipAll, Pll };
    Kind kind = Kind::None;
    float threshold = 0.0f;
    int32_t value = 0;
    QString name;

    bool keeps(const cube::SolveRecord &record) const
    {
        switch (kind) {
        case Kind::None:
            return true;
        case Kind::Nothing:
            return false;
        case Kind::Below:
            return record.time < threshold;
        case Kind::AtLeastReal:
            return record.time >= threshold && record.time != cube::kPlaceholderTime;
        case Kind::Cross:
            return record.crossType == value;
        case Kind::SkipBits:
            return (record.llSkips & value) != 0;
        case Kind::SkipAll:
            return record.llSkips == value;
        case Kind::Pll:
            return pllNameOf(record.pllAlg).compare(name, Qt::CaseInsensitive) == 0;
        }
        return false;
    }
};

TypedFilter typedFilter(FilterType type, int position)
{
    using Kind = TypedFilter::Kind;
    TypedFilter filter;
    if (type == FilterType::None)
        return filter;

    // Every other type filters; a position outside the type's entries
    // matches nothing.
    filter.kind = Kind::Nothing;
    const QStringList entries = filterParamEntries(type);
    if (position < 0 || position >= entries.size())
        return filter;

    switch (type) {
    case FilterType::None:
        break;
    case FilterType::Time:
        // "SubN" -> N. "Sup10" reads 10 as well but keeps the solves at or
        // above it; the placeholder time is not a real 99.99 s solve.
        filter.threshold = QStringView(entries.at(position)).mid(3).toFloat();
        filter.kind = position == entries.size() - 1 ? Kind::AtLeastReal : Kind::Below;
        break;
    case FilterType::Cross:
        filter.kind = Kind::Cross;
        filter.value = int32_t(position);
        break;
    case FilterType::Skip:
        // llSkips: bit 0 first last-layer step skipped, bit 1 second. "OLL"
        // and "PLL" keep every solve that skipped that step, "Last Layer"
        // only those that skipped both (a Roux mask with EP skipped too, 7,
        // is not a last-layer skip in this sense).
        if (position < 2) {
            filter.kind = Kind::SkipBits;
            filter.value = int32_t(1) << position;
        } else {
            filter.kind = Kind::SkipAll;
            filter.value = 3;
        }
        break;
    case FilterType::Pll:
        filter.kind = Kind::Pll;
        filter.name = entries.at(position);
        break;
    }
    return filter;
}

}  // namespace

QStringList puzzleEntries()
{
    return {QStringLiteral("Any"), QStringLiteral("3x3"), QStringLiteral("OH")};
}

QStringList methodEntries()
{
    return {QStringLiteral("Any"),   QStringLiteral("CFOP"),  QStringLiteral("Roux"),
            QStringLiteral("ZZ"),    QStringLiteral("Mehta"), QStringLiteral("Petrus")};
}

QStringList filterTypeEntries()
{
    return {QStringLiteral("None"), QStringLiteral("Time"), QStringLiteral("Cross"), QStringLiteral("Skip"),
            QStringLiteral("PLL")};
}

QStringList timeFilterEntries()
{
    return {QStringLiteral("Sub4"), QStringLiteral("Sub5"), QStringLiteral("Sub6"),  QStringLiteral("Sub7"),
            QStringLiteral("Sub8"), QStringLiteral("Sub9"), QStringLiteral("Sub10"), QStringLiteral("Sup10")};
}

QStringList crossFilterEntries()
{
    return {QStringLiteral("Cross"), QStringLiteral("XCross"), QStringLiteral("XXCross"), QStringLiteral("Other")};
}

QStringList skipFilterEntries()
{
    return {QStringLiteral("OLL"), QStringLiteral("PLL"), QStringLiteral("Last Layer")};
}

QStringList pllFilterEntries()
{
    return {QStringLiteral("Aa"), QStringLiteral("Ab"), QStringLiteral("E"),  QStringLiteral("F"),
            QStringLiteral("Ga"), QStringLiteral("Gb"), QStringLiteral("Gc"), QStringLiteral("Gd"),
            QStringLiteral("H"),  QStringLiteral("Ja"), QStringLiteral("Jb"), QStringLiteral("Na"),
            QStringLiteral("Nb"), QStringLiteral("Ra"), QStringLiteral("Rb"), QStringLiteral("T"),
            QStringLiteral("Ua"), QStringLiteral("Ub"), QStringLiteral("V"),  QStringLiteral("Y"),
            QStringLiteral("Z")};
}

std::optional<FilterType> filterTypeNamed(const QString &name)
{
    const qsizetype position = filterTypeEntries().indexOf(name);
    if (position < 0)
        return std::nullopt;
    return static_cast<FilterType>(position);
}

QStringList filterParamEntries(FilterType type)
{
    switch (type) {
    case FilterType::None:
        return {};
    case FilterType::Time:
        return timeFilterEntries();
    case FilterType::Cross:
        return crossFilterEntries();
    case FilterType::Skip:
        return skipFilterEntries();
    case FilterType::Pll:
        return pllFilterEntries();
    }
    return {};
}

QString solverNameFromEntry(const QString &entry)
{
    const qsizetype bracket = entry.lastIndexOf(u'[');
    if (bracket < 0)
        return entry;
    return entry.left(std::max<qsizetype>(bracket - 1, 0));
}

std::vector<int32_t> filterSolves(const Records &solves, const FilterSelection &selection)
{
    const bool bySolver = !selection.solver.isEmpty();
    const QString puzzle = entryAt(puzzleEntries(), selection.puzzle);
    const QString method = entryAt(methodEntries(), selection.method);
    const bool byPuzzle = !puzzle.isEmpty();
    const bool byMethod = !method.isEmpty();
    const TypedFilter typed = typedFilter(selection.filterType, selection.filterParam);

    // (time, index) pairs sort faster than indices that look up their
    // records, and ordering by the pair keeps equal times in file order.
    std::vector<std::pair<float, int32_t>> kept;
    kept.reserve(solves.size());
    for (size_t i = 0; i < solves.size(); ++i) {
        const cube::SolveRecord &record = solves[i];
        if (bySolver && record.solver != selection.solver)
            continue;
        if (byPuzzle && record.puzzle != puzzle)
            continue;
        if (byMethod && record.method != method)
            continue;
        if (!typed.keeps(record))
            continue;
        // Records from the loader never hold NaN; one that does sorts last
        // rather than breaking the ordering.
        const float time = std::isnan(record.time) ? INFINITY : record.time;
        kept.emplace_back(time, int32_t(i));
    }
    std::sort(kept.begin(), kept.end());

    std::vector<int32_t> indices;
    indices.reserve(kept.size());
    for (const auto &entry : kept)
        indices.push_back(entry.second);
    return indices;
}

QString solveListText(const cube::SolveRecord &record)
{
    return fixedText(record.time, 3) + QLatin1String("s\t") + record.solver + QLatin1String(" (") + record.puzzle
           + QLatin1Char(' ') + record.method + QLatin1Char(')');
}

QStringList solveListTexts(const Records &solves, const std::vector<int32_t> &shown)
{
    // The list is in time order, which visits the large records in random
    // order; reading them in file order instead lets the memory keep up
    // (about twice as fast for 100,000 solves). slot[i] is the list
    // position of solve i, -1 when it is not listed.
    std::vector<int32_t> slot(solves.size(), -1);
    int32_t listed = 0;
    for (const int32_t index : shown) {
        if (validIndex(solves, index) && slot[size_t(index)] < 0)
            slot[size_t(index)] = listed++;
    }
    // An index listed twice keeps its first place; its later entries are
    // filled in below.
    QStringList texts(listed);
    for (size_t i = 0; i < solves.size(); ++i) {
        if (slot[i] >= 0)
            texts[slot[i]] = solveListText(solves[i]);
    }
    if (qsizetype(shown.size()) == listed)
        return texts;

    // Rare: duplicate or invalid indices. Rebuild in list order, reusing the
    // texts made above.
    QStringList all;
    all.reserve(qsizetype(shown.size()));
    for (const int32_t index : shown) {
        if (validIndex(solves, index))
            all.append(texts.at(slot[size_t(index)]));
    }
    return all;
}

std::vector<int32_t> workingSet(const Records &solves, const std::vector<int32_t> &shown)
{
    if (!shown.empty())
        return shown;
    std::vector<int32_t> all(solves.size());
    for (size_t i = 0; i < all.size(); ++i)
        all[i] = int32_t(i);
    return all;
}

QString statsText(const Records &solves, const std::vector<int32_t> &shown)
{
    const bool selected = !shown.empty();
    const size_t count = selected ? shown.size() : solves.size();

    // Single-precision sum, as the times are stored.
    float sum = 0.0f;
    int32_t timed = 0;
    const auto add = [&](const cube::SolveRecord &record) {
        if (record.time != cube::kPlaceholderTime) {
            sum += record.time;
            ++timed;
        }
    };
    if (selected) {
        for (const int32_t index : shown) {
            if (validIndex(solves, index))
                add(solves[size_t(index)]);
        }
    } else {
        for (const cube::SolveRecord &record : solves)
            add(record);
    }

    const QString average =
        timed > 0 ? QString(fixedText(sum / float(timed), 3) + QLatin1String("s avg")) : QStringLiteral("no times");
    return QString::number(count) + (selected ? QLatin1String(" solves selected (") : QLatin1String(" solves in DB ("))
           + average + QLatin1Char(')');
}

QString fixedText(double value, int decimals)
{
    if (!std::isfinite(value))
        value = 0.0;
    QString text = QString::number(value, 'f', std::max(decimals, 0));
    // A tiny negative value rounds to "-0.000"; a minus before nothing but
    // zeros is noise.
    if (text.startsWith(u'-')) {
        const bool allZero = std::all_of(text.cbegin() + 1, text.cend(),
                                         [](QChar c) { return c == u'0' || c == u'.'; });
        if (allZero)
            text.remove(0, 1);
    }
    return text;
}

QString solvePageAddress(const QString &siteAddress, const QString &solveId)
{
    QString site = siteAddress.trimmed();
    if (site.isEmpty())
        return QString();
    while (site.endsWith(QLatin1Char('/')))
        site.chop(1);
    return site + QLatin1String("/r/") + solveId;
}

}  // namespace db
