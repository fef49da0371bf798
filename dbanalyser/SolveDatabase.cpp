#include "SolveDatabase.h"

#include "SolveAnalysis.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QStringView>

#include <atomic>
#include <sys/mman.h>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <unordered_map>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
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

// Fields are byte ranges of the UTF-8 text. Every character the reading
// looks at (quote, delimiter, tab, line feed, carriage return, the digits of
// numbers) is ASCII, and a UTF-8 decoder never lets a byte below 0x80 become
// part of another character, so cutting the bytes first and decoding each
// field after gives the texts a decode of the whole file would give.
using Bytes = QByteArrayView;

constexpr char kBom[] = "\xEF\xBB\xBF";

// The text of a field. QString::fromUtf8 drops a byte order mark at the start
// of what it decodes; inside a file that mark is an ordinary character, and
// stays one.
QString decode(Bytes bytes)
{
    QString text = QString::fromUtf8(bytes);
    if (bytes.startsWith(Bytes(kBom, 3)))
        text.prepend(QChar(0xFEFF));
    return text;
}

// Trimmed like QString::trimmed: ASCII white space here, the rest (no-break
// space and the like) by Qt after decoding.
bool isAsciiSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

Bytes asciiTrimmed(Bytes bytes)
{
    qsizetype begin = 0;
    qsizetype end = bytes.size();
    while (begin < end && isAsciiSpace(bytes[begin]))
        ++begin;
    while (end > begin && isAsciiSpace(bytes[end - 1]))
        --end;
    return bytes.sliced(begin, end - begin);
}

QString fieldText(Bytes bytes)
{
    return decode(asciiTrimmed(bytes)).trimmed();
}

// Numbers are read exactly as QString::toFloat and toInt read them (C locale:
// decimal point only, optional sign, exponent for floats, nothing else in
// the field), but without their per-call conversions: a file holds a dozen
// numbers per line and a database 100,000 lines. Anything unusual (white
// space inside, non-ASCII, a very long field) is handed to Qt itself.
constexpr qsizetype kNumberBuffer = 64;

// The ASCII-trimmed field without a leading "+" (which from_chars refuses),
// or false, leaving the field to Qt, when it is not plain printable ASCII or
// too long.
bool plainNumber(Bytes &text)
{
    text = asciiTrimmed(text);
    if (text.startsWith('+')) {
        text = text.sliced(1);
        if (text.startsWith('+') || text.startsWith('-'))
            return false;
    }
    if (text.size() > kNumberBuffer)
        return false;
    for (const char c : text) {
        if (uchar(c) > 0x7F || uchar(c) <= 0x20)  // Qt decides what white space it skips
            return false;
    }
    return true;
}

float toFloat(Bytes field)
{
    Bytes text = field;
    if (!plainNumber(text)) {
        bool ok = false;
        const float value = fieldText(field).toFloat(&ok);
        return ok && std::isfinite(value) ? value : 0.0f;
    }
    // Read as double and narrowed, as Qt does, so the rounding is the same.
    double value = 0.0;
    const char *const end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end || !std::isfinite(value)
        || std::fabs(value) > double(std::numeric_limits<float>::max()))
        return 0.0f;  // unparsable, "inf", "nan" or beyond the float range
    return float(value);  // an underflow gives 0 either way
}

int32_t toInt(Bytes field)
{
    Bytes text = field;
    if (!plainNumber(text)) {
        bool ok = false;
        const int value = fieldText(field).toInt(&ok, 10);
        return ok ? int32_t(value) : 0;
    }
    int32_t value = 0;
    const char *const end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, 10);
    return error == std::errc() && stop == end ? value : 0;
}

bool isAscii(Bytes bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return uchar(c) < 0x80; });
}

int32_t yearOf(Bytes date, Bytes dateText)
{
    if (!isAscii(date) || !isAscii(dateText)) {
        // Cut by UTF-16 units, as the text is counted elsewhere.
        const QString dateString = fieldText(date);
        const QString textString = fieldText(dateText);
        const qsizetype dash = dateString.indexOf(u'-');
        const int32_t year = fieldText(dateString.left(dash < 0 ? dateString.size() : dash).toUtf8()).toInt();
        if (year == 0 && textString.size() >= 4)
            return textString.right(4).toInt();
        return year;
    }
    date = asciiTrimmed(date);
    dateText = asciiTrimmed(dateText);
    const qsizetype dash = date.indexOf('-');
    const int32_t year = toInt(dash < 0 ? date : date.first(dash));
    if (year == 0 && dateText.size() >= 4)
        return toInt(dateText.last(4));
    return year;
}

// Texts that repeat from line to line (puzzle, method, solver, case names,
// ...): equal texts share one buffer, which saves memory and decoding, and
// keeps the list and the filters, which read them for every solve, within a
// few cache lines. A file whose texts never repeat would only fill the pool,
// so it stops taking new texts at kMaxTexts.
class TextPool
{
public:
    // The decoded, trimmed text of `bytes`.
    QString text(Bytes bytes)
    {
        const auto it = decoded_.find(bytes);
        if (it != decoded_.end())
            return it->second;
        QString text = fieldText(bytes);
        if (decoded_.size() < kMaxTexts)
            decoded_.emplace(QByteArray(bytes.data(), bytes.size()), text);
        return text;
    }

    // `text` itself, or an equal text seen before.
    QString shared(const QString &text)
    {
        if (text.isEmpty())
            return QString();
        const auto it = texts_.constFind(text);
        if (it != texts_.cend())
            return *it;
        if (texts_.size() < qsizetype(kMaxTexts))
            texts_.insert(text);
        return text;
    }

private:
    static constexpr size_t kMaxTexts = 4096;

    struct Hash
    {
        using is_transparent = void;
        size_t operator()(Bytes bytes) const { return qHash(bytes); }
    };
    struct Equal
    {
        using is_transparent = void;
        bool operator()(Bytes a, Bytes b) const { return a == b; }
    };
    std::unordered_map<QByteArray, QString, Hash, Equal> decoded_;
    QSet<QString> texts_;
};

// Fills the default-constructed `record` from `fields`, which holds `count`
// (at least kMinFieldCount, at most kReadFieldCount) untrimmed byte ranges
// of one line, and does the common analysis.
void fillFromFields(cube::SolveRecord &record, const Bytes *fields, qsizetype count, TextPool &pool)
{
    const auto field = [&](qsizetype column) { return column < count ? fields[column] : Bytes(); };
    const auto text = [&](qsizetype column) { return fieldText(field(column)); };
    const auto shared = [&](qsizetype column) { return pool.text(field(column)); };

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
    record.ollCase = shared(ColOllCase);  // empty when the line is too short
    record.pllAlg = shared(ColPllAlg);

    cube::analyseCommon(record);
}

// Splits `line` on `delimiter` into at most kReadFieldCount ranges (empty
// parts kept) and returns how many it found. Stopping early keeps the memory
// bounded however many delimiters a hostile line holds.
qsizetype splitLine(Bytes line, char delimiter, std::array<Bytes, kReadFieldCount> &fields)
{
    qsizetype count = 0;
    const char *start = line.data();
    const char *const end = line.data() + line.size();
    while (count < kReadFieldCount) {
        const auto *stop = static_cast<const char *>(std::memchr(start, delimiter, size_t(end - start)));
        if (!stop) {
            fields[size_t(count++)] = Bytes(start, end - start);
            break;
        }
        fields[size_t(count++)] = Bytes(start, stop - start);
        start = stop + 1;
    }
    return count;
}

// The quoting pass over `size` units at `data`, in place; the new size.
template<typename Char>
qsizetype unquoteInPlace(Char *data, qsizetype size, Char delimiter)
{
    Char *out = data;
    bool inside = false;
    for (qsizetype i = 0; i < size; ++i) {
        const Char c = data[i];
        if (c == Char('"')) {
            inside = !inside;
            continue;  // every quote goes
        }
        *out++ = (inside && (c == delimiter || c == Char('\t') || c == Char('\n') || c == Char('\r'))) ? Char('|') : c;
    }
    return out - data;
}

// The same over bytes, where the stretches outside quotes (nearly all of a
// file) move in blocks instead of byte by byte.
qsizetype unquoteInPlace(char *data, qsizetype size, char delimiter)
{
    char *const end = data + size;
    char *out = data;
    char *in = data;
    while (in < end) {
        char *quote = static_cast<char *>(std::memchr(in, '"', size_t(end - in)));
        if (!quote)
            quote = end;
        if (out != in)
            std::memmove(out, in, size_t(quote - in));
        out += quote - in;
        if (quote == end)
            break;
        // Inside the quoted stretch, up to its closing quote or the end.
        in = quote + 1;
        char *close = static_cast<char *>(std::memchr(in, '"', size_t(end - in)));
        if (!close)
            close = end;
        for (; in < close; ++in) {
            const char c = *in;
            *out++ = (c == delimiter || c == '\t' || c == '\n' || c == '\r') ? '|' : c;
        }
        in = close == end ? end : close + 1;
    }
    return out - data;
}

template<typename Char>
char delimiterOf(const Char *data, qsizetype size)
{
    // Branch-free, so the compiler can use vector instructions.
    qsizetype commas = 0;
    qsizetype semicolons = 0;
    for (qsizetype i = 0; i < size; ++i) {
        commas += data[i] == Char(',');
        semicolons += data[i] == Char(';');
    }
    return commas > semicolons ? ',' : ';';
}

// Asks for huge pages under a large array that is about to be filled: on a
// machine that gives them only on request, this saves the page faults of
// hundreds of megabytes of records (a third of the loading time without).
void adviseHugePages(void *data, size_t bytes)
{
#ifdef MADV_HUGEPAGE
    constexpr uintptr_t kHugePage = uintptr_t(2) << 20;
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kHugePage - 1) & ~(kHugePage - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(kHugePage - 1);
    if (end > begin)
        madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);  // advice only: failure is harmless
#else
    Q_UNUSED(data);
    Q_UNUSED(bytes);
#endif
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

// A line that becomes a record: where it is and which line of the file it is.
struct RecordLine
{
    qsizetype begin;
    qsizetype size;
    qint64 lineNumber;  // 0-based, in the whole text
};

// One stretch of whole lines of the text, read in two passes: first which of
// its lines become records (so every record's place in `solves` is known
// before any is built), then the records themselves.
struct Chunk
{
    Bytes text;
    qint64 firstLine = 0;  // number of the stretch's first line in the whole text
    qint64 lineCount = 0;
    std::vector<RecordLine> recordLines;
    size_t firstRecord = 0;  // index in `solves` of the first record
    QHash<QString, int32_t> counts;
};

// The first pass: the header and short lines are left out here.
void findRecordLines(Chunk &chunk, char delimiter)
{
    const char *const begin = chunk.text.data();
    const char *const end = begin + chunk.text.size();
    const char *start = begin;
    qint64 line = chunk.firstLine;
    while (start <= end) {
        const auto *stop = static_cast<const char *>(std::memchr(start, '\n', size_t(end - start)));
        if (!stop)
            stop = end;
        const Bytes text(start, stop - start);
        if (!text.startsWith("ID")) {
            // The whole line at once: a branch-free count the compiler
            // vectorises beats stopping at the 44th.
            qsizetype delimiters = 0;
            for (const char *c = start; c < stop; ++c)
                delimiters += *c == delimiter;
            if (delimiters >= kMinFieldCount - 1)
                chunk.recordLines.push_back({start - begin, stop - start, line});
        }
        ++line;
        start = stop + 1;
    }
    chunk.lineCount = line - chunk.firstLine;
}

// The second pass: builds and analyses the chunk's records in their places,
// adding the lines passed to `linesRead` and calling `report` (when given)
// every kProgressLines records.
void buildRecords(Chunk &chunk, char delimiter, std::vector<cube::SolveRecord> &solves,
                  std::atomic<qint64> &linesRead, const std::function<void()> &report)
{
    // Often enough for a progress dialog, rarely enough to cost nothing.
    constexpr size_t kProgressRecords = 2048;
    TextPool pool;
    std::array<Bytes, kReadFieldCount> fields;
    qint64 lineReached = chunk.firstLine;
    for (size_t i = 0; i < chunk.recordLines.size(); ++i) {
        const RecordLine &line = chunk.recordLines[i];
        const qsizetype count = splitLine(chunk.text.sliced(line.begin, line.size), delimiter, fields);
        cube::SolveRecord &record = solves[chunk.firstRecord + i];
        fillFromFields(record, fields.data(), count, pool);
        // A record's method analysis depends on that record alone.
        if (record.method == u"CFOP")
            cube::analyseCfop(record);
        else if (record.method == u"Roux")
            cube::analyseRoux(record);
        // Names the analysis gives many solves alike (edit() copies nothing
        // here: the analysis has given the record blocks of its own).
        for (QString *name : {&record.crossColour, &record.pllName})
            *name = pool.shared(*name);
        if (record.method == u"CFOP") {
            cube::CfopFields &cfop = record.cfop.edit();
            for (QString *name : {&cfop.lastSlotType, &cfop.ollName, &cfop.ollFamily})
                *name = pool.shared(*name);
        } else if (record.method == u"Roux") {
            cube::RouxFields &roux = record.roux.edit();
            for (QString *name : {&roux.eolrName, &roux.epName})
                *name = pool.shared(*name);
        }
        ++chunk.counts[record.solver];
        if ((i + 1) % kProgressRecords == 0) {
            linesRead.fetch_add(line.lineNumber + 1 - lineReached, std::memory_order_relaxed);
            lineReached = line.lineNumber + 1;
            if (report)
                report();
        }
    }
    linesRead.fetch_add(chunk.firstLine + chunk.lineCount - lineReached, std::memory_order_relaxed);
}

// Runs `work(i)` for every i below `count`, i = 0 on the calling thread and
// each other on a thread of its own, calling `waiting` now and then on the
// calling thread until all are done.
void runOnThreads(size_t count, const std::function<void(size_t)> &work, const std::function<void()> &waiting)
{
    std::mutex doneMutex;
    std::condition_variable doneChanged;
    size_t workersDone = 0;
    std::vector<std::thread> workers;
    for (size_t i = 1; i < count; ++i) {
        workers.emplace_back([&, i] {
            work(i);
            const std::lock_guard lock(doneMutex);
            ++workersDone;
            doneChanged.notify_one();
        });
    }
    work(0);
    {
        std::unique_lock lock(doneMutex);
        while (workersDone < workers.size()) {
            doneChanged.wait_for(lock, std::chrono::milliseconds(100));
            lock.unlock();
            waiting();
            lock.lock();
        }
    }
    for (std::thread &worker : workers)
        worker.join();
}

}  // namespace

cube::SolveRecord buildSolveRecord(const QStringList &fields)
{
    if (fields.size() < kMinFieldCount)
        return {};
    const qsizetype count = std::min(fields.size(), kReadFieldCount);
    std::array<QByteArray, kReadFieldCount> utf8;
    std::array<Bytes, kReadFieldCount> views;
    for (qsizetype i = 0; i < count; ++i) {
        utf8[size_t(i)] = fields.at(i).toUtf8();
        views[size_t(i)] = utf8[size_t(i)];
    }
    TextPool pool;
    cube::SolveRecord record;
    fillFromFields(record, views.data(), count, pool);
    return record;
}

QChar chooseDelimiter(const QString &text)
{
    return QLatin1Char(delimiterOf(text.utf16(), text.size()));
}

char chooseDelimiterUtf8(QByteArrayView utf8)
{
    return delimiterOf(utf8.data(), utf8.size());
}

QString unquoteFields(const QString &text, QChar delimiter)
{
    QString result = text;
    auto *units = reinterpret_cast<char16_t *>(result.data());
    result.truncate(unquoteInPlace(units, result.size(), char16_t(delimiter.unicode())));
    return result;
}

SolveDatabase parseDatabase(const QString &text, QChar delimiter, const LoadProgress &progress)
{
    Q_ASSERT(delimiter.unicode() < 0x80);
    return parseDatabaseUtf8(text.toUtf8(), char(delimiter.unicode()), progress);
}

SolveDatabase parseDatabaseUtf8(QByteArray utf8, char delimiter, const LoadProgress &progress, int threads)
{
    utf8.truncate(unquoteInPlace(utf8.data(), utf8.size(), delimiter));
    const Bytes all(utf8);

    // Whole lines per chunk, each chunk on a thread of its own; the calling
    // thread takes the first. Lines depend on nothing but themselves, so the
    // records, in their places, and the counts are the serial ones.
    if (threads <= 0)
        threads = int(std::max(1u, std::thread::hardware_concurrency()));
    // Below this a thread costs more than it saves.
    constexpr qsizetype kMinChunkBytes = 1 << 20;
    threads = int(std::clamp<qsizetype>(all.size() / kMinChunkBytes, 1, threads));
    std::vector<Chunk> chunks;
    qsizetype chunkStart = 0;
    for (int i = 1; i <= threads && chunkStart <= all.size(); ++i) {
        qsizetype chunkEnd = all.size();
        if (i < threads) {
            chunkEnd = all.indexOf('\n', std::max(chunkStart, all.size() * i / threads));
            if (chunkEnd < 0)
                chunkEnd = all.size();
        }
        chunks.push_back({});
        chunks.back().text = all.sliced(chunkStart, chunkEnd - chunkStart);
        chunkStart = chunkEnd + 1;
    }

    std::atomic<qint64> linesRead{0};
    const auto report = [&](qint64 lines) {
        if (progress)
            progress(std::min(linesRead.load(std::memory_order_relaxed), lines), lines);
    };
    runOnThreads(chunks.size(), [&](size_t i) { findRecordLines(chunks[i], delimiter); }, [] {});
    qint64 lines = 0;
    size_t records = 0;
    for (Chunk &chunk : chunks) {
        chunk.firstLine = lines;
        for (RecordLine &line : chunk.recordLines)
            line.lineNumber += lines;  // numbered within the chunk so far
        lines += chunk.lineCount;
        chunk.firstRecord = records;
        records += chunk.recordLines.size();
    }

    SolveDatabase database;
    database.solves.reserve(records);
    // Hundreds of megabytes of records: their pages are asked for as huge
    // pages and touched by all threads at once, so constructing the records
    // afterwards writes to memory that is already there. (A new page costs
    // far more than filling it, on virtual machines above all.)
    auto *const storage = reinterpret_cast<char *>(database.solves.data());
    const size_t storageBytes = records * sizeof(cube::SolveRecord);
    if (storageBytes > 0) {  // no storage at all without records
        adviseHugePages(storage, storageBytes);
        runOnThreads(chunks.size(), [&](size_t i) {
            const size_t begin = storageBytes * i / chunks.size();
            const size_t end = storageBytes * (i + 1) / chunks.size();
            std::memset(storage + begin, 0, end - begin);  // raw storage: no record lives there yet
        }, [] {});
    }
    database.solves.resize(records);
    const std::function<void()> reportNow = [&] { report(lines); };
    runOnThreads(
        chunks.size(),
        [&](size_t i) { buildRecords(chunks[i], delimiter, database.solves, linesRead, i == 0 ? reportNow : nullptr); },
        reportNow);

    QHash<QString, int32_t> counts;
    for (const Chunk &chunk : chunks) {
        for (auto it = chunk.counts.cbegin(); it != chunk.counts.cend(); ++it)
            counts[it.key()] += it.value();
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
    // Read into a buffer of the file's size asked for as huge pages (see
    // parseDatabaseUtf8); a file that grows or shrinks meanwhile gives what
    // could be read.
    QByteArray utf8;
    const qint64 size = file.size();
    if (size > 0 && size < std::numeric_limits<qsizetype>::max() / 2) {
        utf8.resize(qsizetype(size));
        adviseHugePages(utf8.data(), size_t(size));
        const qint64 got = file.read(utf8.data(), size);
        utf8.resize(qsizetype(std::max<qint64>(got, 0)));
    }
    utf8 += file.readAll();  // whatever lies beyond the size the file had (or all of a pipe)
    file.close();
    // A decoder drops a byte order mark at the start of a file.
    if (utf8.startsWith(Bytes(kBom, 3)))
        utf8.remove(0, 3);
    const char delimiter = chooseDelimiterUtf8(utf8);
    return parseDatabaseUtf8(std::move(utf8), delimiter, progress);
}

}  // namespace db
