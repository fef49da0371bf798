#include "SolveAnalysis.h"

#include "MoveText.h"
#include "Recognition.h"

#include <array>
#include <cmath>

namespace cube {

namespace {

// A list entry, or 0 when the list is shorter: analyses of records with
// missing steps read the missing values as 0.
template <typename List>
auto entry(const List &list, size_t index)
{
    return index < list.size() ? list[index] : typename List::value_type{};
}

QString step(const SolveRecord &record, qsizetype index)
{
    return index < record.steps.size() ? record.steps.at(index) : QString();
}

// a / b, or 0 when the quotient would not be a finite number (b == 0 and the
// like): a spreadsheet cell of 0 is more useful than "nan" or "inf".
float ratio(float a, float b)
{
    const float value = a / b;
    return std::isfinite(value) ? value : 0.0f;
}

// Mean of the non-zero values; 0 when there is none.
template <typename It>
float meanOfNonZero(It first, It last)
{
    float sum = 0.0f;
    int count = 0;
    for (It it = first; it != last; ++it) {
        sum += static_cast<float>(*it);
        if (*it != 0)
            ++count;
    }
    return count > 0 ? sum / static_cast<float>(count) : 0.0f;
}

// "Sub" and the time rounded up, or "Sup10". The usual buckets are shared
// constants rather than a text formatted for every solve.
QString timeBucket(float time)
{
    static const std::array<QString, 11> kBuckets = {
        QStringLiteral("Sub0"), QStringLiteral("Sub1"), QStringLiteral("Sub2"), QStringLiteral("Sub3"),
        QStringLiteral("Sub4"), QStringLiteral("Sub5"), QStringLiteral("Sub6"), QStringLiteral("Sub7"),
        QStringLiteral("Sub8"), QStringLiteral("Sub9"), QStringLiteral("Sub10")};
    if (!(time < 10.0f) && !std::isnan(time))
        return QStringLiteral("Sup10");
    const auto rounded = static_cast<long long>(std::ceil(std::isnan(time) ? 0.0f : time));
    if (rounded >= 0 && rounded <= 10)
        return kBuckets[size_t(rounded)];
    return QStringLiteral("Sub%1").arg(rounded);
}

}  // namespace

void analyseCommon(SolveRecord &record)
{
    while (record.steps.size() < kStepCount)
        record.steps.append(QString());

    // Marks are seconds when the unit says so, frame numbers otherwise.
    const float divisor = record.markUnit == QLatin1String("Time") ? 1.0f : record.fps;
    for (int i = 0; i < kStepCount; ++i) {
        const float seconds = (record.marks[size_t(i) + 1] - record.marks[size_t(i)]) / divisor;
        // A mark that goes backwards, or a frame rate of 0, gives no usable time.
        record.stepTimes[size_t(i)] = (std::isfinite(seconds) && seconds >= 0.0f) ? seconds : 0.0f;
    }

    QString solution;
    qsizetype solutionSize = 0;
    for (const QString &text : record.steps)
        solutionSize += text.size();
    solution.reserve(solutionSize);
    for (int i = 0; i < kStepCount; ++i) {
        const QString &text = record.steps.at(i);
        const QString moves = stripComment(text);
        record.stepMoves[size_t(i)] = countMoves(text);
        // Wide r and l turns count as rotations only in the first step, where
        // they stand for inspection-style regrips.
        record.stepRotations[size_t(i)] = countRotations(moves, true, i == 0);
        record.stepGen[size_t(i)] = countGen(moves);
        solution += moves;
    }
    record.totalGen = static_cast<float>(countGen(solution));
    record.letterShares = letterShares(solution);
    record.averageGen = meanOfNonZero(record.stepGen.begin(), record.stepGen.end());

    record.totalFullRotations = 0;
    record.totalWideRotations = 0;
    for (const RotationCount &r : record.stepRotations) {
        record.totalFullRotations += r.full;
        record.totalWideRotations += r.wide;
    }

    record.tps = ratio(static_cast<float>(record.moveCount), record.time);
    record.timeBucket = timeBucket(record.time);
    record.stepShares = {};
    record.spSlot.clear();
}

void analyseCfop(SolveRecord &record)
{
    CfopFields &cfop = record.cfop.edit();
    const auto &t = record.stepTimes;
    const auto &m = record.stepMoves;
    const auto &r = record.stepRotations;
    const auto &g = record.stepGen;

    cfop.crossTime = entry(t, 0);
    cfop.pairTimes = {entry(t, 1), entry(t, 2), entry(t, 3), entry(t, 4)};
    cfop.ollTime = entry(t, 5);
    cfop.pllTime = entry(t, 6);
    cfop.f2lTime = 0.0f;
    for (float pair : cfop.pairTimes)
        cfop.f2lTime += pair;

    record.stepShares = {ratio(cfop.crossTime, record.time), ratio(cfop.f2lTime, record.time),
                         ratio(cfop.ollTime, record.time), ratio(cfop.pllTime, record.time)};

    cfop.crossMoves = entry(m, 0);
    cfop.pairMoves = {entry(m, 1), entry(m, 2), entry(m, 3), entry(m, 4)};
    cfop.ollMoves = entry(m, 5);
    cfop.pllMoves = entry(m, 6);
    cfop.f2lMoves = 0;
    for (int32_t pair : cfop.pairMoves)
        cfop.f2lMoves += pair;

    const auto tps = [](int32_t moves, float seconds) {
        return seconds > 0.0f ? ratio(static_cast<float>(moves), seconds) : 0.0f;
    };
    cfop.crossTps = tps(cfop.crossMoves, cfop.crossTime);
    cfop.f2lTps = tps(cfop.f2lMoves, cfop.f2lTime);
    cfop.ollTps = tps(cfop.ollMoves, cfop.ollTime);
    cfop.pllTps = tps(cfop.pllMoves, cfop.pllTime);

    cfop.crossRotations = entry(r, 0);
    cfop.pairRotations = {entry(r, 1), entry(r, 2), entry(r, 3), entry(r, 4)};
    cfop.ollRotations = entry(r, 5);
    cfop.pllRotations = entry(r, 6);
    cfop.f2lRotations = {};
    for (const RotationCount &pair : cfop.pairRotations) {
        cfop.f2lRotations.full += pair.full;
        cfop.f2lRotations.wide += pair.wide;
    }

    const QString cross = stripComment(step(record, 0));
    const QString oll = stripComment(step(record, 5));
    const QString pll = stripComment(step(record, 6));
    cfop.crossGen = static_cast<float>(countGen(cross));
    cfop.pairGens = {entry(g, 1), entry(g, 2), entry(g, 3), entry(g, 4)};
    cfop.f2lGen = meanOfNonZero(cfop.pairGens.begin(), cfop.pairGens.end());
    cfop.ollGen = static_cast<float>(countGen(oll));
    cfop.pllGen = static_cast<float>(countGen(pll));

    QString pairs;
    pairs.reserve(step(record, 1).size() + step(record, 2).size() + step(record, 3).size() + step(record, 4).size() + 4);
    for (int k = 1; k <= 4; ++k)
        pairs += stripComment(step(record, k)) + QLatin1Char(' ');
    cfop.crossLetters = letterShares(cross);
    cfop.f2lLetters = letterShares(pairs);
    cfop.ollLetters = letterShares(oll);
    cfop.pllLetters = letterShares(pll);

    if (record.crossColour.isEmpty())
        record.crossColour = crossColour(cross);
    record.crossType = crossType(step(record, 0), step(record, 1));

    cfop.pairInserts = {QString(), QString(), QString(), QString()};
    cfop.pairInsertTypes = {0, 0, 0, 0};
    cfop.pairSlots = {QString(), QString(), QString(), QString()};
    for (int k = 1; k <= 4; ++k) {
        if (const std::optional<InsertResult> insert = insertResult(step(record, k))) {
            cfop.pairInserts[size_t(k - 1)] = insert->algorithm;
            cfop.pairInsertTypes[size_t(k - 1)] = insert->code.toInt();
            cfop.pairSlots[size_t(k - 1)] = insert->slot;
        }
    }
    cfop.multiSlot = multiSlot(record.steps);
    cfop.lastSlotType = lastSlotType(step(record, 4));

    const LlNames names = llNames(step(record, 5), step(record, 6));
    cfop.ollName = names.first;
    record.pllName = names.second;
    record.llSkips = llSkips(step(record, 5), step(record, 6));
    cfop.ollFamily = ollFamily(record.ollCase);
    const AufIndices aufs = aufIndices(step(record, 5), step(record, 6));
    cfop.preOllAuf = aufs.beforeFirst;
    cfop.prePllAuf = aufs.beforeSecond;
    cfop.finalAuf = aufs.final;
}

void analyseRoux(SolveRecord &record)
{
    RouxFields &roux = record.roux.edit();
    float *const times[] = {&roux.fbTime, &roux.ssTime, &roux.spTime,
                            &roux.cmllTime, &roux.eolrTime, &roux.epTime};
    int32_t *const moves[] = {&roux.fbMoves, &roux.ssMoves, &roux.spMoves,
                              &roux.cmllMoves, &roux.eolrMoves, &roux.epMoves};
    for (size_t i = 0; i < 6 && i < record.stepTimes.size(); ++i) {
        *times[i] = record.stepTimes[i];
        *moves[i] = countMoves(step(record, qsizetype(i)));
    }
    roux.sbTime = roux.ssTime + roux.spTime;
    roux.sbMoves = roux.ssMoves + roux.spMoves;

    // Seconds per move; a step without moves has no rate (0, not infinity).
    const auto rate = [](float seconds, int32_t count) {
        return count != 0 ? ratio(seconds, static_cast<float>(count)) : 0.0f;
    };
    roux.fbRate = rate(roux.fbTime, roux.fbMoves);
    roux.ssRate = rate(roux.ssTime, roux.ssMoves);
    roux.spRate = rate(roux.spTime, roux.spMoves);
    roux.sbRate = rate(roux.sbTime, roux.sbMoves);
    roux.cmllRate = rate(roux.cmllTime, roux.cmllMoves);
    roux.eolrRate = rate(roux.eolrTime, roux.eolrMoves);
    roux.epRate = rate(roux.epTime, roux.epMoves);

    record.llSkips = lseSkips(record.steps);
    roux.fbType.clear();
    roux.cmllType.clear();
    roux.eolrName = rouxStepName(step(record, 4), QStringLiteral("EOLR"));
    roux.epName = rouxStepName(step(record, 5), QStringLiteral("EP"));

    roux.fbLetters = letterShares(stripComment(step(record, 0)));
    roux.ssLetters = letterShares(stripComment(step(record, 1)));
    roux.spLetters = letterShares(stripComment(step(record, 2)));
    roux.cmllLetters = letterShares(stripComment(step(record, 3)));
    roux.eolrLetters = letterShares(stripComment(step(record, 4)));
    roux.epLetters = sliceShares(stripComment(step(record, 5)));
}

QString rouxStepName(const QString &text, const QString &defaultName)
{
    if (text.trimmed().isEmpty())
        return QStringLiteral("Skip");
    const qsizetype comment = text.lastIndexOf(QLatin1String("//"));
    if (comment < 0)
        return defaultName;
    // The character after the slashes is normally the blank of "// name".
    return text.mid(comment + 3).trimmed();
}

int32_t lseSkips(const QStringList &steps)
{
    if (steps.size() < 6)
        return 0;
    int32_t mask = 0;
    for (int i = 3; i <= 5; ++i) {
        const QString rest = normaliseEnds(stripComment(steps.at(i)).trimmed()).trimmed();
        if (rest.isEmpty())
            mask |= 1 << (i - 3);
    }
    return mask;
}

}  // namespace cube
