#include "SolveDatabase.h"

#include "SolveAnalysis.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStringView>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <unordered_set>
#include <utility>

namespace db {

namespace {

// Columns of a database line (0-based).
enum Column : qsizetype {
    ColSolveId = 0,
    ColPuzzle = 1,
    ColTime = 2,
    ColSolver = 4,
    ColMethod = 5,
    ColCrossColour = 6,
    ColDate = 7,
    ColDateText = 8,
    ColFirstMark = 15,  // marks at 15, 17, ..., 29; step texts at 16, 18, ..., 28
    ColMarkUnit = 32,
    ColFps = 33,
    ColMoveCount = 35,
    ColCrossMoveCount = 42,
    ColReconstructor = 44,
    ColOllCase = 45,
    ColPllAlg = 46,
};

// Columns 10, 13, 14, 36, 37 and 43 carry nothing the analyser shows, so
// the record has no room for them and they are not read.

// Numbers are read exactly as QString::toFloat and toInt read them (C locale:
// decimal point only, optional sign, exponent for floats, nothing else in
// the field), but without their per-call conversions: a file holds a dozen
// numbers per line and a database 100,000 lines. Anything unusual (white
// space, non-ASCII, a very long field) is handed to Qt itself.
constexpr qsizetype kNumberBuffer = 64;

// The field as ASCII without a leading "+" (which from_chars refuses), or
// false, leaving the field to Qt, when it is not plain ASCII or too long.
bool asciiNumber(QStringView text, char (&buffer)[kNumberBuffer], qsizetype &length)
{
    if (text.startsWith(u'+')) {
        text = text.mid(1);
        if (text.startsWith(u'+') || text.startsWith(u'-'))
            return false;
    }
    if (text.size() > kNumberBuffer)
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c > 0x7F || c <= 0x20)  // Qt decides what white space it skips
            return false;
        buffer[i] = char(c);
    }
    length = text.size();
    return true;
}

float toFloat(QStringView text)
{
    char buffer[kNumberBuffer];
    qsizetype length = 0;
    if (!asciiNumber(text, buffer, length)) {
        bool ok = false;
        const float value = text.toFloat(&ok);
        return ok && std::isfinite(value) ? value : 0.0f;
    }
    // Read as double and narrowed, as Qt does, so the rounding is the same.
    double value = 0.0;
    const auto [end, error] = std::from_chars(buffer, buffer + length, value);
    if (error != std::errc() || end != buffer + length || !std::isfinite(value)
        || std::fabs(value) > double(std::numeric_limits<float>::max()))
        return 0.0f;  // unparsable, "inf", "nan" or beyond the float range
    return float(value);  // an underflow gives 0 either way
}

int32_t toInt(QStringView text)
{
    char buffer[kNumberBuffer];
    qsizetype length = 0;
    if (!asciiNumber(text, buffer, length)) {
        bool ok = false;
        const int value = text.toInt(&ok, 10);
        return ok ? int32_t(value) : 0;
    }
    int32_t value = 0;
    const auto [end, error] = std::from_chars(buffer, buffer + length, value, 10);
    return error == std::errc() && end == buffer + length ? value : 0;
}

int32_t yearOf(QStringView date, QStringView dateText)
{
    const qsizetype dash = date.indexOf(u'-');
    const int32_t year = toInt((dash < 0 ? date : date.left(dash)).trimmed());
    if (year == 0 && dateText.size() >= 4)
        return toInt(dateText.right(4));
    return year;
}

// Texts that repeat from line to line (puzzle, method, solver, ...): equal
// texts share one buffer, which saves memory and keeps the list and the
// filters, which read them for every solve, within a few cache lines.
class TextPool
{
public:
    QString text(QStringView view)
    {
        const auto it = texts_.find(view);
        if (it != texts_.end())
            return *it;
        return *texts_.insert(view.toString()).first;
    }

private:
    struct Hash
    {
        using is_transparent = void;
        size_t operator()(QStringView view) const { return qHash(view); }
    };
    struct Equal
    {
        using is_transparent = void;
        bool operator()(QStringView a, QStringView b) const { return a == b; }
    };
    std::unordered_set<QString, Hash, Equal> texts_;
};

// `fields` holds `count` (at least kMinFieldCount, at most kReadFieldCount)
// untrimmed views of one line.
cube::SolveRecord buildFromFields(const QStringView *fields, qsizetype count, TextPool &pool)
{
    const auto field = [&](qsizetype column) {
        return column < count ? fields[column].trimmed() : QStringView();
    };
    const auto text = [&](qsizetype column) { return field(column).toString(); };
    const auto shared = [&](qsizetype column) { return pool.text(field(column)); };

    cube::SolveRecord record;
    record.solveId = text(ColSolveId);
    record.puzzle = shared(ColPuzzle);
    record.time = toFloat(field(ColTime));
    if (record.time <= 1.0f)
        record.time = cube::kPlaceholderTime;
    record.solver = shared(ColSolver);
    record.method = shared(ColMethod);
    record.crossColour = shared(ColCrossColour);
    record.year = yearOf(field(ColDate), field(ColDateText));
    record.steps.reserve(cube::kStepCount);
    for (qsizetype i = 0; i <= cube::kStepCount; ++i) {
        record.marks[size_t(i)] = toFloat(field(ColFirstMark + 2 * i));
        if (i < cube::kStepCount)
            record.steps.append(text(ColFirstMark + 2 * i + 1));
    }
    record.markUnit = shared(ColMarkUnit);
    record.fps = toFloat(field(ColFps));
    record.moveCount = toInt(field(ColMoveCount));
    record.crossMoveCountColumn = toInt(field(ColCrossMoveCount));
    record.reconstructor = shared(ColReconstructor);
    record.ollCase = text(ColOllCase);  // empty when the line is too short
    record.pllAlg = text(ColPllAlg);

    cube::analyseCommon(record);
    return record;
}

// Splits `line` on `delimiter` into at most kReadFieldCount views (empty
// parts kept) and returns how many it found. Stopping early keeps the memory
// bounded however many delimiters a hostile line holds.
qsizetype splitLine(QStringView line, QChar delimiter, std::array<QStringView, kReadFieldCount> &fields)
{
    qsizetype count = 0;
    qsizetype start = 0;
    while (count < kReadFieldCount) {
        const qsizetype end = line.indexOf(delimiter, start);
        if (end < 0) {
            fields[size_t(count++)] = line.mid(start);
            break;
        }
        fields[size_t(count++)] = line.mid(start, end - start);
        start = end + 1;
    }
    return count;
}

QStringList solverEntries(const QHash<QString, int32_t> &counts)
{
    std::vector<std::pair<QString, int32_t>> solvers;
    solvers.reserve(size_t(counts.size()));
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        solvers.emplace_back(it.key(), it.value());
    std::sort(solvers.begin(), solvers.end(), [](const auto &a, const auto &b) {
        if (a.second != b.second)
            return a.second > b.second;
        return a.first > b.first;  // QString orders by UTF-16 code units
    });

    QStringList entries;
    entries.reserve(qsizetype(solvers.size()) + 1);
    entries.append(QStringLiteral("All"));
    // Concatenation, not arg(): a name holding "%1" must stay as it is.
    for (const auto &[name, count] : solvers)
        entries.append(name + QLatin1String(" [") + QString::number(count) + QLatin1Char(']'));
    return entries;
}

}  // namespace

cube::SolveRecord buildSolveRecord(const QStringList &fields)
{
    if (fields.size() < kMinFieldCount)
        return {};
    std::array<QStringView, kReadFieldCount> views;
    const qsizetype count = std::min(fields.size(), kReadFieldCount);
    for (qsizetype i = 0; i < count; ++i)
        views[size_t(i)] = fields.at(i);
    TextPool pool;
    return buildFromFields(views.data(), count, pool);
}

QChar chooseDelimiter(const QString &text)
{
    qsizetype commas = 0;
    qsizetype semicolons = 0;
    for (const QChar c : text) {
        if (c == u',')
            ++commas;
        else if (c == u';')
            ++semicolons;
    }
    return commas > semicolons ? QChar(u',') : QChar(u';');
}

QString unquoteFields(const QString &text, QChar delimiter)
{
    // Written through a raw pointer: the result is never longer than the text.
    QString result(text.size(), Qt::Uninitialized);
    QChar *out = result.data();
    bool inside = false;
    for (const QChar c : text) {
        if (c == u'"') {
            inside = !inside;
            continue;  // every quote goes
        }
        *out++ = (inside && (c == delimiter || c == u'\t' || c == u'\n' || c == u'\r')) ? QChar(u'|') : c;
    }
    result.truncate(out - result.constData());
    return result;
}

SolveDatabase parseDatabase(const QString &text, QChar delimiter, const LoadProgress &progress)
{
    // Often enough for a progress dialog, rarely enough to cost nothing.
    constexpr qint64 kProgressLines = 2048;
    const QString unquoted = unquoteFields(text, delimiter);
    const QStringView all(unquoted);

    SolveDatabase database;
    // Every record needs a line of its own and kMinFieldCount - 1
    // delimiters, so this never reserves room the text could not fill.
    qsizetype lineFeeds = 0;
    qsizetype delimiters = 0;
    for (const QChar c : all) {
        if (c == u'\n')
            ++lineFeeds;
        else if (c == delimiter)
            ++delimiters;
    }
    database.solves.reserve(size_t(std::min(lineFeeds + 1, delimiters / (kMinFieldCount - 1))));

    QHash<QString, int32_t> counts;
    TextPool pool;
    std::array<QStringView, kReadFieldCount> fields;
    const qint64 lines = lineFeeds + 1;
    qint64 linesRead = 0;
    qsizetype start = 0;
    while (start <= all.size()) {
        qsizetype end = all.indexOf(u'\n', start);
        if (end < 0)
            end = all.size();
        const QStringView line = all.mid(start, end - start);
        start = end + 1;
        if (progress && ++linesRead % kProgressLines == 0)
            progress(linesRead, lines);

        if (line.startsWith(u"ID"))
            continue;  // the header line
        const qsizetype count = splitLine(line, delimiter, fields);
        if (count < kMinFieldCount)
            continue;
        cube::SolveRecord &record = database.solves.emplace_back(buildFromFields(fields.data(), count, pool));
        // A record's method analysis depends on that record alone.
        if (record.method == u"CFOP")
            cube::analyseCfop(record);
        else if (record.method == u"Roux")
            cube::analyseRoux(record);
        ++counts[record.solver];
    }
    if (progress)
        progress(lines, lines);

    database.solverEntries = solverEntries(counts);
    return database;
}

std::optional<SolveDatabase> loadDatabaseFile(const QString &path, QString *error, const LoadProgress &progress)
{
    QFile file(path);
    if (path.isEmpty() || QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly)) {
        if (error) {
            if (path.isEmpty())
                *error = QStringLiteral("No file name given");
            else if (QFileInfo(path).isDir())
                *error = QStringLiteral("Cannot open %1: it is a directory").arg(path);
            else
                *error = QStringLiteral("Cannot open %1: %2").arg(path, file.errorString());
        }
        return std::nullopt;
    }
    const QString text = QString::fromUtf8(file.readAll());
    return parseDatabase(text, chooseDelimiter(text), progress);
}

}  // namespace db
