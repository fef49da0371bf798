#include "SolveTables.h"

#include "MoveText.h"
#include "SolveList.h"

#include <QStringList>
#include <QStringView>

#include <cmath>

namespace db {

namespace {

const char *const kOrdinals[4] = {"1st", "2nd", "3rd", "4th"};

double finite(double value)
{
    return std::isfinite(value) ? value : 0.0;
}

// Appends tab-separated fields to one line of the table.
class Line
{
public:
    explicit Line(QString &out)
        : out_(out)
    {
    }

    void text(QStringView value)
    {
        if (!first_)
            out_.append(u'\t');
        first_ = false;
        out_.append(value);
    }
    void text(QLatin1String value)
    {
        if (!first_)
            out_.append(u'\t');
        first_ = false;
        out_.append(value);
    }
    void integer(int64_t value) { text(QString::number(value)); }
    void fixed(double value, int decimals) { text(fixedText(finite(value), decimals)); }
    void fixedOrEmpty(double value, int decimals)
    {
        if (finite(value) == 0.0)
            text(QStringView());
        else
            fixed(value, decimals);
    }
    // Times: empty when 0 or when at least 99 s, which only the placeholder
    // of a solve without a usable time reaches.
    void time(double value)
    {
        if (finite(value) >= 99.0)
            text(QStringView());
        else
            fixedOrEmpty(value, 3);
    }
    // Percent in single precision, like the share itself: 7/80 prints 8.8%, as its exact value would.
    void share(float value) { text(QString(fixedText(double(float(finite(value)) * 100.0f), 1) + QLatin1Char('%'))); }
    template <typename Shares>
    void shares(const Shares &values)
    {
        for (const float value : values)
            share(value);
    }

private:
    QString &out_;
    bool first_ = true;
};

// "4" below 4 s, "10+" above 10 s, else the whole seconds: 4.0 -> "4",
// 9.99 -> "9", 10.0 -> "10", 10.5 and the placeholder -> "10+".
QString subClass(float time)
{
    const double t = finite(time);
    if (t < 4.0)
        return QStringLiteral("4");
    if (t > 10.0)
        return QStringLiteral("10+");
    return fixedText(std::floor(t), 0);
}

// "Skip Forced": any special last-slot technique forced what followed;
// otherwise a skipped OLL step, or an OLL-type step recognised as a plain
// OLL (with or without corner permutation), counts as natural.
QLatin1String skipForced(const cube::SolveRecord &r)
{
    if (r.cfop->lastSlotType != u"None")
        return QLatin1String("Forced");
    if (r.llSkips == 1 || r.llSkips == 3)
        return QLatin1String("Natural");
    if (r.cfop->ollName == u"OLL" || r.cfop->ollName == u"OLL(CP)")
        return QLatin1String("Natural");
    return QLatin1String("Forced");
}

void commonHeader(Line &line)
{
    for (const char *name : {"id", "Solver", "Puzzle", "Method", "Reconstructor", "Year", "Time", "Sub",
                             "Move Count", "TPS", "Total Gen", "Average Gen", "Rotations", "% Step1", "% Step2",
                             "% Step3", "% Step4"})
        line.text(QLatin1String(name));
}

void commonRow(Line &line, const cube::SolveRecord &r)
{
    line.text(r.solveId);
    line.text(r.solver);
    line.text(r.puzzle);
    line.text(r.method);
    line.text(r.reconstructor);
    if (r.year == 0)
        line.text(QLatin1String("N/A"));
    else
        line.integer(r.year);
    line.time(r.time);
    line.text(subClass(r.time));
    if (r.moveCount == 0)
        line.text(QStringView());
    else
        line.integer(r.moveCount);
    line.fixedOrEmpty(r.tps, 2);
    line.fixedOrEmpty(r.totalGen, 1);
    line.fixedOrEmpty(r.averageGen, 1);
    line.integer(r.totalFullRotations);
    for (const float share : r.stepShares)
        line.fixedOrEmpty(share, 3);
}

void perPairHeader(Line &line, const char *name)
{
    for (const char *ordinal : kOrdinals)
        line.text(QString(QLatin1String(ordinal) + QLatin1Char(' ') + QLatin1String(name)));
}

void cfopHeader(Line &line)
{
    for (const char *name : {"Cross Time", "Cross Color", "Cross Type", "Cross Move Count", "Cross Gen", "Cross TPS",
                             "Cross Rotations", "Cross True Rotations", "Cross Wide Rotations", "F2L Time",
                             "F2L Move Count", "F2L Gen", "F2L TPS", "F2L Rotations"})
        line.text(QLatin1String(name));
    for (const char *name : {"Pair Time", "Slot", "Pair Moves", "Pair Rotations", "Pair Gen", "Insert", "Insert Type"})
        perPairHeader(line, name);
    for (const char *name :
         {"Pair Combo", "Last Slot", "OLL Type", "PLL Type", "OLL Time", "PLL Time", "OLL Moves", "PLL Moves", "OLL Gen",
          "PLL Gen", "OLL TPS", "PLL TPS", "OLL Rotations(full)", "OLL Rotations(wide)", "OLL Rotations",
          "PLL Rotations(full)", "PLL Rotations(wide)", "PLL Rotations", "Skip Type", "Skip Forced", "OLL Alg",
          "OLL Family", "PLL Alg", "Pre-OLL AUF", "Pre-PLL AUF", "Final AUF", "AUFCount"})
        line.text(QLatin1String(name));
}

void cfopRow(Line &line, const cube::SolveRecord &r)
{
    line.fixedOrEmpty(r.cfop->crossTime, 3);
    line.text(r.crossColour);
    line.integer(r.crossType);
    line.integer(r.crossMoveCountColumn);
    line.fixed(r.cfop->crossGen, 1);
    line.fixedOrEmpty(r.cfop->crossTps, 1);
    line.integer(r.cfop->crossRotations.total());
    line.integer(r.cfop->crossRotations.full);
    line.integer(r.cfop->crossRotations.wide);
    line.fixedOrEmpty(r.cfop->f2lTime, 3);
    line.integer(r.cfop->f2lMoves);
    line.fixed(r.cfop->f2lGen, 1);
    line.fixedOrEmpty(r.cfop->f2lTps, 1);
    int64_t f2lRotations = 0;
    for (const cube::RotationCount &pair : r.cfop->pairRotations)
        f2lRotations += pair.total();
    line.integer(f2lRotations);

    // One column per entry: a solve without CFOP analysis has empty lists
    // and so no per-pair columns at all.
    for (const float value : r.cfop->pairTimes)
        line.fixedOrEmpty(value, 3);
    for (const QString &slot : r.cfop->pairSlots)
        line.text(slot);
    for (const int32_t value : r.cfop->pairMoves)
        line.integer(value);
    for (const cube::RotationCount &pair : r.cfop->pairRotations)
        line.integer(pair.total());
    for (const int32_t value : r.cfop->pairGens)
        line.integer(value);
    for (const QString &insert : r.cfop->pairInserts)
        line.text(insert);
    for (const int32_t type : r.cfop->pairInsertTypes) {
        if (type == -1)
            line.text(QStringView());  // no table algorithm ended the pair
        else
            line.integer(type);
    }

    line.integer(r.cfop->multiSlot);
    line.text(r.cfop->lastSlotType);
    line.text(r.cfop->ollName);
    line.text(r.pllName);
    line.time(r.cfop->ollTime);
    line.time(r.cfop->pllTime);
    line.fixed(r.cfop->ollMoves, 0);
    line.fixed(r.cfop->pllMoves, 0);
    line.fixed(r.cfop->ollGen, 0);
    line.fixed(r.cfop->pllGen, 0);
    line.fixedOrEmpty(r.cfop->ollTps, 1);
    line.fixedOrEmpty(r.cfop->pllTps, 1);
    for (const cube::RotationCount &rotations : {r.cfop->ollRotations, r.cfop->pllRotations}) {
        line.integer(rotations.full);
        line.integer(rotations.wide);
        line.integer(rotations.total());
    }
    line.integer(r.llSkips);
    line.text(skipForced(r));
    line.text(r.ollCase);
    line.text(r.cfop->ollFamily);
    line.text(r.pllAlg);
    line.integer(r.cfop->preOllAuf);
    line.integer(r.cfop->prePllAuf);
    line.integer(r.cfop->finalAuf);
    line.integer(int(r.cfop->preOllAuf > 0) + int(r.cfop->prePllAuf > 0) + int(r.cfop->finalAuf > 0));
}

void rouxHeader(Line &line)
{
    for (const char *name :
         {"FB Time", "FB Moves", "FB TPS", "FB Type", "SS Time", "SS Moves", "SS TPS", "SP Time", "SP Moves", "SP TPS",
          "SP Slot", "SB Time", "SB Moves", "SB TPS", "CMLL Time", "CMLL Moves", "CMLL TPS", "CMLL Type", "EOLR Time",
          "EOLR Moves", "EOLR TPS", "EOLR Type", "EP Time", "EP Moves", "EP TPS", "EP Type", "Skip Type"})
        line.text(QLatin1String(name));
}

void rouxRow(Line &line, const cube::SolveRecord &r)
{
    // The "TPS" columns hold the seconds per move of the step.
    const auto step = [&line](float time, int32_t moves, float rate) {
        line.fixed(time, 3);
        line.fixed(moves, 0);
        line.fixed(rate, 3);
    };
    step(r.roux->fbTime, r.roux->fbMoves, r.roux->fbRate);
    line.text(r.roux->fbType);
    step(r.roux->ssTime, r.roux->ssMoves, r.roux->ssRate);
    step(r.roux->spTime, r.roux->spMoves, r.roux->spRate);
    line.text(r.spSlot);
    step(r.roux->sbTime, r.roux->sbMoves, r.roux->sbRate);
    step(r.roux->cmllTime, r.roux->cmllMoves, r.roux->cmllRate);
    line.text(r.roux->cmllType);
    step(r.roux->eolrTime, r.roux->eolrMoves, r.roux->eolrRate);
    line.text(r.roux->eolrName);
    step(r.roux->epTime, r.roux->epMoves, r.roux->epRate);
    line.text(r.roux->epName);
    line.fixed(r.llSkips, 0);
}

void letterHeader(Line &line, QLatin1String prefix)
{
    for (int i = 0; i < cube::kCountedLetterCount; ++i) {
        const QLatin1Char letter(cube::kCountedLetters[i]);
        if (prefix.isEmpty())
            line.text(QString(letter));
        else
            line.text(QString(prefix + QLatin1Char(' ') + letter));
    }
}

void movesHeader(Line &line, const QString &method)
{
    letterHeader(line, QLatin1String());
    if (method == u"CFOP") {
        for (const char *prefix : {"Cross", "F2L", "OLL", "PLL"})
            letterHeader(line, QLatin1String(prefix));
        for (const char *name : {"Cross", "F2L-1", "F2L-2", "F2L-3", "F2L-4", "OLL", "PLL"})
            line.text(QLatin1String(name));
    } else if (method == u"Roux") {
        for (const char *prefix : {"FB", "SS", "SP", "CMLL", "EOLR"})
            letterHeader(line, QLatin1String(prefix));
        line.text(QLatin1String("EP M"));
        line.text(QLatin1String("EP U"));
        // The seventh step column of the rows has no header.
        for (const char *name : {"FB", "SS", "SP", "CMLL", "EOLR", "EP"})
            line.text(QLatin1String(name));
    }
}

void movesRow(Line &line, const cube::SolveRecord &r, const QString &method)
{
    line.shares(r.letterShares);
    if (method == u"CFOP") {
        for (const cube::LetterShares *shares : {&r.cfop->crossLetters, &r.cfop->f2lLetters, &r.cfop->ollLetters, &r.cfop->pllLetters})
            line.shares(*shares);
    } else if (method == u"Roux") {
        for (const cube::LetterShares *shares :
             {&r.roux->fbLetters, &r.roux->ssLetters, &r.roux->spLetters, &r.roux->cmllLetters, &r.roux->eolrLetters})
            line.shares(*shares);
        line.shares(r.roux->epLetters);
    }
    for (const QString &step : r.steps)
        line.text(cube::normaliseEnds(cube::cancelPairs(cube::stripComment(step))));
}

void appendHeader(QString &out, const QString &method, bool includeMoves)
{
    Line line(out);
    commonHeader(line);
    if (method == u"CFOP")
        cfopHeader(line);
    else if (method == u"Roux")
        rouxHeader(line);
    if (includeMoves)
        movesHeader(line, method);
}

void appendRow(QString &out, const cube::SolveRecord &record, const QString &method, bool includeMoves)
{
    Line line(out);
    commonRow(line, record);
    if (method == u"CFOP")
        cfopRow(line, record);
    else if (method == u"Roux")
        rouxRow(line, record);
    if (includeMoves)
        movesRow(line, record, method);
}

// The second tab-separated field of `line`, if it has one.
std::optional<QStringView> secondField(QStringView line)
{
    const qsizetype tab = line.indexOf(u'\t');
    if (tab < 0)
        return std::nullopt;
    const QStringView rest = line.mid(tab + 1);
    const qsizetype next = rest.indexOf(u'\t');
    return next < 0 ? rest : rest.left(next);
}

std::optional<QString> fail(QString *error, const QString &reason)
{
    if (error)
        *error = reason;
    return std::nullopt;
}

}  // namespace

QString tableHeader(const QString &method, bool includeMoves)
{
    QString out;
    appendHeader(out, method, includeMoves);
    return out;
}

QString tableRow(const cube::SolveRecord &record, const QString &method, bool includeMoves)
{
    QString out;
    appendRow(out, record, method, includeMoves);
    return out;
}

QString solveTable(const std::vector<cube::SolveRecord> &solves, const std::vector<int32_t> &shown,
                   const QString &method, bool includeMoves)
{
    QString out;
    appendHeader(out, method, includeMoves);
    out.append(u'\n');
    const auto append = [&](const cube::SolveRecord &record) {
        appendRow(out, record, method, includeMoves);
        out.append(u'\n');
    };
    if (shown.empty()) {
        for (const cube::SolveRecord &record : solves)
            append(record);
    } else {
        for (const int32_t index : shown) {
            if (index >= 0 && size_t(index) < solves.size())
                append(solves[size_t(index)]);
        }
    }
    return out;
}

std::optional<QString> convertWebTable(const QString &text, QString *error)
{
    QList<QStringView> lines = QStringView(text).split(u'\n');
    for (QStringView &line : lines) {
        if (line.endsWith(u'\r'))
            line.chop(1);
    }

    // Step texts run from line 2 up to the line that introduces the time
    // table; line 1 holds nothing we need.
    qsizetype marker = -1;
    for (qsizetype i = 2; i < lines.size(); ++i) {
        if (lines.at(i).startsWith(u"View at") || lines.at(i).startsWith(u"Step")) {
            marker = i;
            break;
        }
    }
    if (marker < 0)
        return fail(error, QStringLiteral("The copied text has no line starting with \"Step\" or \"View at\"."));

    QStringList steps;
    for (qsizetype i = 2; i < marker; ++i)
        steps.append(lines.at(i).toString());
    // Six steps lack the one before the first mark; an empty one keeps the
    // columns in place.
    if (steps.size() == 6)
        steps.prepend(QString());

    const qsizetype tableStart = marker + (lines.at(marker).startsWith(u"Step") ? 2 : 6);
    constexpr qsizetype kTableLines = 6;
    if (tableStart + kTableLines > lines.size())
        return fail(error, QStringLiteral("The copied time table has fewer than six lines."));

    // Running marks in seconds, the first at 0.
    QStringList marks{QStringLiteral("0")};
    float sum = 0.0f;
    for (qsizetype i = tableStart; i < tableStart + kTableLines; ++i) {
        const std::optional<QStringView> seconds = secondField(lines.at(i));
        if (!seconds)
            continue;
        bool ok = false;
        const float value = seconds->trimmed().toFloat(&ok);
        sum += ok && std::isfinite(value) ? value : 0.0f;
        marks.append(fixedText(sum, 3));
    }
    if (marks.size() < steps.size())
        return fail(error, QStringLiteral("The copied time table gives %1 marks for %2 steps.")
                               .arg(marks.size())
                               .arg(steps.size()));

    // The first step stands before the first mark and is not counted.
    int64_t moves = 0;
    for (qsizetype k = 1; k < steps.size(); ++k)
        moves += cube::countMoves(steps.at(k));

    QString result = lines.at(0).toString();
    for (qsizetype k = 0; k < steps.size(); ++k)
        result += QLatin1Char('\t') + steps.at(k) + QLatin1Char('\t') + marks.at(k);
    result += QLatin1String("\t\t0\t\t0\tTime\t30\t\t") + QString::number(moves);
    return result;
}

}  // namespace db
