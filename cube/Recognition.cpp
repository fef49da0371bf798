#include "Recognition.h"

#include "CubeOrientation.h"
#include "MoveText.h"

#include <QLatin1String>
#include <QStringView>
#include <QVarLengthArray>

#include <algorithm>
#include <array>
#include <iterator>
#include <string_view>
#include <utility>

namespace cube {

namespace {

using L1 = QLatin1String;

bool isMultiLine(QStringView text)
{
    return text.contains(u'\n') || text.contains(u'\r');
}

// ---- insert tables ----
//
// Both tables hold the same 110 algorithms with the same slots; they differ in
// the codes only. No algorithm is a suffix of another, so the first suffix
// match is the only one and the order of the rows does not matter.

constexpr int32_t FR = 1;
constexpr int32_t FL = 2;
constexpr int32_t BR = 3;
constexpr int32_t BL = 4;

constexpr InsertEntry kAnalysisTable[] = {
    // 1: direct insertion
    {"R U R'", 1, FR}, {"R2 U R'", 1, FR}, {"R2' U R'", 1, FR},
    // 0: other top-layer insertion
    {"R U' R'", 0, FR}, {"R U2 R'", 0, FR}, {"R U2' R'", 0, FR}, {"R U U R'", 0, FR},
    {"R U' U' R'", 0, FR}, {"R2 U' R'", 0, FR}, {"R2 U2 R'", 0, FR}, {"R2 U2' R'", 0, FR},
    {"R2' U' R'", 0, FR}, {"R2' U2 R'", 0, FR}, {"R2' U2' R'", 0, FR},

    {"L' U' L", 1, FL}, {"L2' U' L", 1, FL}, {"L2 U' L", 1, FL},
    {"L' U L", 0, FL}, {"L' U2 L", 0, FL}, {"L' U2' L", 0, FL}, {"L' U U L", 0, FL},
    {"L' U' U' L", 0, FL}, {"L2' U L", 0, FL}, {"L2' U2 L", 0, FL}, {"L2' U2' L", 0, FL},
    {"L2 U L", 0, FL}, {"L2 U2 L", 0, FL}, {"L2 U2' L", 0, FL},

    {"R' U' R", 1, BR}, {"R2' U' R", 1, BR}, {"R2 U' R", 1, BR},
    // Ten rows: there is no "R2 U2' R".
    {"R' U R", 0, BR}, {"R' U2 R", 0, BR}, {"R' U2' R", 0, BR}, {"R' U U R", 0, BR},
    {"R' U' U' R", 0, BR}, {"R2' U R", 0, BR}, {"R2' U2 R", 0, BR}, {"R2' U2' R", 0, BR},
    {"R2 U R", 0, BR}, {"R2 U2 R", 0, BR},

    {"L U L'", 1, BL}, {"L2 U L'", 1, BL}, {"L2' U L'", 1, BL},
    {"L U' L'", 0, BL}, {"L U2 L'", 0, BL}, {"L U2' L'", 0, BL}, {"L U U L'", 0, BL},
    {"L U' U' L'", 0, BL}, {"L2 U' L'", 0, BL}, {"L2 U2 L'", 0, BL}, {"L2 U2' L'", 0, BL},
    {"L2' U' L'", 0, BL}, {"L2' U2 L'", 0, BL}, {"L2' U2' L'", 0, BL},

    // 2: insertion followed by a D or u turn
    {"R' U R D'", 2, FR}, {"R' U' R D'", 2, FR}, {"R' U2 R D'", 2, FR}, {"R' U2' R D'", 2, FR},
    {"L' U L D", 2, FR}, {"L' U' L D", 2, FR}, {"L' U2 L D", 2, FR}, {"L' U2' L D", 2, FR},
    {"R' U R u'", 2, FR}, {"R' U' R u'", 2, FR},

    {"R U' R' D'", 2, FL}, {"R U R' D'", 2, FL}, {"R U2 R' D'", 2, FL}, {"R U2' R' D'", 2, FL},
    {"R U R' u'", 2, FL}, {"R U' R' u'", 2, FL},
    {"L U L' D", 2, FL}, {"L U' L' D", 2, FL}, {"L U2 L' D", 2, FL}, {"L U2' L' D", 2, FL},

    {"L U L' D'", 2, BR}, {"L U' L' D'", 2, BR}, {"L U2 L' D'", 2, BR}, {"L U2' L' D'", 2, BR},
    {"R U R' D", 2, BR}, {"R U' R' D", 2, BR}, {"R U2 R' D", 2, BR}, {"R U2' R' D", 2, BR},

    {"L' U L D'", 2, BL}, {"L' U' L D'", 2, BL}, {"L' U2 L D'", 2, BL}, {"L' U2' L D'", 2, BL},
    {"R' U R D", 2, BL}, {"R' U' R D", 2, BL}, {"R' U2 R D", 2, BL}, {"R' U2' R D", 2, BL},

    // 3: wide or slice turns
    {"l F' l'", 3, FR},
    {"r' F r", 3, FL},
    {"f R f'", 3, BR}, {"f R' f'", 3, BR}, {"r' U' R U M'", 3, BR},
    {"r B r'", 3, BL}, {"f' L' f", 3, BL}, {"f' L f", 3, BL}, {"l U L' U' M'", 3, BL},

    // 4: F turns
    {"F' U' F", 4, FR}, {"F' U F", 4, FR}, {"F' U2 F", 4, FR}, {"F' U2' F", 4, FR},
    {"F R F'", 4, FR},
    {"F U F'", 4, FL}, {"F U' F'", 4, FL}, {"F U2 F'", 4, FL}, {"F U2' F'", 4, FL},
    {"F' L' F", 4, FL},
};

// The calculator keeps codes 0 to 2 and knows no wide/slice (3) or F-turn (4)
// class: of those rows, these are direct insertions (1), the rest other (0).
constexpr std::string_view kCalculatorDirect[] = {"F' U' F", "F U F'", "f R f'", "r B r'", "f' L' f"};

constexpr std::array<InsertEntry, std::size(kAnalysisTable)> calculatorTable()
{
    std::array<InsertEntry, std::size(kAnalysisTable)> table{};
    for (size_t i = 0; i < table.size(); ++i) {
        InsertEntry entry = kAnalysisTable[i];
        if (entry.type > 2) {
            bool direct = false;
            for (std::string_view algorithm : kCalculatorDirect)
                direct = direct || algorithm == std::string_view(entry.algorithm);
            entry.type = direct ? 1 : 0;
        }
        table[i] = entry;
    }
    return table;
}

constexpr auto kCalculatorTable = calculatorTable();

static_assert(std::size(kAnalysisTable) == 110);
static_assert(std::size(kCalculatorTable) == 110);

// A table row ready for suffix tests: the algorithm as a view with its length,
// and its last character to reject most rows without a comparison.
struct Candidate
{
    L1 algorithm;
    char16_t last = 0;
    const InsertEntry *entry = nullptr;
};

using CandidateList = std::array<Candidate, 110>;

CandidateList makeCandidates(const InsertEntry *table)
{
    CandidateList list;
    for (size_t i = 0; i < list.size(); ++i) {
        const L1 algorithm(table[i].algorithm);
        list[i] = Candidate{algorithm, char16_t(uchar(algorithm.back().toLatin1())), &table[i]};
    }
    return list;
}

const CandidateList &candidates(InsertTable table)
{
    static const CandidateList analysis = makeCandidates(kAnalysisTable);
    static const CandidateList calculator = makeCandidates(kCalculatorTable.data());
    return table == InsertTable::Calculator ? calculator : analysis;
}

// `text` is a pair step with its comment already removed, non-empty and on one
// line. Repeat markers are dropped so that "(R U R')2" ends with "R U R'".
const InsertEntry *matchStripped(QString text, InsertTable table)
{
    if (text.contains(u')')) {
        text.remove(L1(")3"));
        text.remove(L1(")2"));
    }
    if (text.isEmpty())
        return nullptr;
    const char16_t last = text.back().unicode();
    for (const Candidate &candidate : candidates(table)) {
        if (candidate.last == last && text.endsWith(candidate.algorithm))
            return candidate.entry;
    }
    return nullptr;
}

// ---- last layer ----

// AUF tokens, longest first where one is a prefix of another.
const std::array<L1, 6> &analysisAufs()
{
    static const std::array<L1, 6> list = {L1("U3'"), L1("U3"), L1("U2'"),
                                           L1("U2"),  L1("U'"), L1("U")};
    return list;
}

const std::array<L1, 6> &calculatorAufs()
{
    static const std::array<L1, 6> list = {L1("U"),   L1("U'"), L1("U2"),
                                           L1("U2'"), L1("U3"), L1("U3'")};
    return list;
}

// 1-based index of the first AUF in `list` that `text` starts or ends with; 0
// when none does. Characters are compared, not tokens.
int32_t aufAtStart(QStringView text, const std::array<L1, 6> &list)
{
    for (size_t i = 0; i < list.size(); ++i) {
        if (text.startsWith(list[i]))
            return int32_t(i) + 1;
    }
    return 0;
}

int32_t aufAtEnd(QStringView text, const std::array<L1, 6> &list)
{
    for (size_t i = 0; i < list.size(); ++i) {
        if (text.endsWith(list[i]))
            return int32_t(i) + 1;
    }
    return 0;
}

// `text` starts with `token` followed by a blank.
bool startsWithToken(QStringView text, L1 token)
{
    return text.size() > token.size() && text.startsWith(token) && text[token.size()] == u' ';
}

const L1 kAufTag("// AUF");

// Index of the first tag of `tags` that `text` contains, or -1. Every tag
// starts with "// ", so only the places where that occurs are tried; the
// list order, not the position in the text, decides between tags.
template <size_t N>
int firstContainedTag(QStringView text, const std::array<L1, N> &tags)
{
    static_assert(N <= 32);
    uint32_t present = 0;
    for (qsizetype at = text.indexOf(u"// "); at >= 0; at = text.indexOf(u"// ", at + 1)) {
        const QStringView rest = text.mid(at);
        for (size_t k = 0; k < N; ++k) {
            if (rest.startsWith(tags[k]))
                present |= 1u << k;
        }
    }
    for (size_t k = 0; k < N; ++k) {
        if (present & (1u << k))
            return int(k);
    }
    return -1;
}

// Bit k - 1 set when `step` contains the ordinal of pair k ("1st" .. "4th").
uint32_t pairOrdinals(QStringView step)
{
    static const char16_t suffixes[4][2] = {{u's', u't'}, {u'n', u'd'}, {u'r', u'd'}, {u't', u'h'}};
    uint32_t found = 0;
    for (qsizetype i = 0; i + 2 < step.size(); ++i) {
        const char16_t c = step[i].unicode();
        if (c < u'1' || c > u'4')
            continue;
        const int k = c - u'1';
        if (step[i + 1] == QChar(suffixes[k][0]) && step[i + 2] == QChar(suffixes[k][1]))
            found |= 1u << k;
    }
    return found;
}

}  // namespace

// ---- cross ----

QString crossColour(const QString &text)
{
    CubeOrientation orientation;
    qsizetype start = 0;
    for (;;) {
        const qsizetype tab = text.indexOf(u'\t', start);
        if (tab < 0) {
            orientation = applyText(orientation, start == 0 ? text : text.mid(start));
            break;
        }
        orientation = applyText(orientation, text.mid(start, tab - start));
        start = tab + 1;
    }
    return colourName(orientation.bottom);
}

namespace {

// Which cross keywords `text` holds once lower-cased: bit 0 "xxcross", bit 1
// "xcross", bit 2 "pseudo" or "partial". Lower-cased rather than compared
// with case folding, which would also let folded non-ASCII letters (such as
// the long s) spell a keyword. ASCII text, nearly every step, is lower-cased
// on the fly; the rest goes through QString::toLower (which also maps the
// dotted capital I to an ASCII i).
uint32_t crossKeywords(QStringView text)
{
    const auto keywords = [](QStringView lower) {
        return uint32_t(lower.contains(L1("xxcross"))) | uint32_t(lower.contains(L1("xcross"))) << 1
               | uint32_t(lower.contains(L1("pseudo")) || lower.contains(L1("partial"))) << 2;
    };
    QVarLengthArray<char16_t, 512> lower(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c >= 0x80)
            return keywords(text.toString().toLower());
        lower[i] = (c >= u'A' && c <= u'Z') ? char16_t(c | 0x20) : c;
    }
    return keywords(QStringView(lower.constData(), lower.size()));
}

int32_t crossTypeOf(uint32_t keywords)
{
    if (keywords & 1)
        return 2;
    if (keywords & 2)
        return 1;
    if (keywords & 4)
        return 3;
    return 0;
}

}  // namespace

int32_t crossType(const QString &text)
{
    return crossTypeOf(crossKeywords(text));
}

int32_t crossType(QStringView first, QStringView second)
{
    return crossTypeOf(crossKeywords(first) | crossKeywords(second));
}

// ---- F2L pairs ----

QString slotName(int32_t slot)
{
    switch (slot) {
    case FR:
        return QStringLiteral("FR");
    case FL:
        return QStringLiteral("FL");
    case BR:
        return QStringLiteral("BR");
    case BL:
        return QStringLiteral("BL");
    default:
        return QString();
    }
}

const InsertEntry *matchInsert(const QString &text, InsertTable table)
{
    QString stripped = stripComment(text);
    if (stripped.isEmpty() || isMultiLine(stripped))
        return nullptr;
    return matchStripped(std::move(stripped), table);
}

QString insertRow(const QString &text)
{
    QString stripped = stripComment(text);
    if (stripped.isEmpty() || isMultiLine(stripped))
        return QStringLiteral("\t\t\t");
    const int32_t moves = countMoves(stripped);
    const InsertEntry *entry = matchStripped(std::move(stripped), InsertTable::Calculator);

    QString row;
    if (entry) {
        row = L1(entry->algorithm) % u'\t' % QString::number(entry->type) % u'\t'
              % slotName(entry->slot);
    } else {
        row = QStringLiteral("\t\t");
    }
    row += u'\t';
    if (moves != 0)
        row += QString::number(moves);
    return row;
}

std::optional<InsertResult> insertResult(const QString &text)
{
    QString stripped = stripComment(text);
    if (stripped.isEmpty() || isMultiLine(stripped))
        return std::nullopt;
    const InsertEntry *entry = matchStripped(std::move(stripped), InsertTable::Analysis);
    if (!entry)
        return InsertResult{QString(), QStringLiteral("-1"), QString()};
    // The rows' texts are made once and shared: a database asks for them
    // four times per CFOP solve.
    struct RowTexts
    {
        QString algorithm;
        QString code;
        QString slot;
    };
    static const auto kRowTexts = [] {
        std::array<RowTexts, std::size(kAnalysisTable)> texts;
        for (size_t i = 0; i < texts.size(); ++i) {
            texts[i] = {QString(L1(kAnalysisTable[i].algorithm)), QString::number(kAnalysisTable[i].type),
                        slotName(kAnalysisTable[i].slot)};
        }
        return texts;
    }();
    const RowTexts &row = kRowTexts[size_t(entry - kAnalysisTable)];
    return InsertResult{row.algorithm, row.code, row.slot};
}

int32_t multiSlot(const QStringList &steps)
{
    constexpr uint32_t first = 1, second = 2, third = 4, fourth = 8;
    int32_t result = 0;
    for (const QString &step : steps) {
        const uint32_t named = pairOrdinals(step);
        if ((named & (third | fourth)) == (third | fourth))
            result = 3;
        else if ((named & (second | third)) == (second | third))
            result = 2;
        else if ((named & (first | second)) == (first | second))
            result = 1;
    }
    return result;
}

QString lastSlotType(const QString &step)
{
    const qsizetype comment = step.lastIndexOf(L1("//"));
    const QStringView tail = comment < 0 ? QStringView(step) : QStringView(step).mid(comment);

    // Later tests override earlier ones: "EO" alone means EOLS, but a named
    // WVLS/VLS/OLS/CLS wins over it.
    QString result = QStringLiteral("None");
    if (tail.contains(L1("EO")))
        result = QStringLiteral("EOLS");
    if (tail.contains(L1("WVLS")))
        result = QStringLiteral("WVLS");
    else if (tail.contains(L1("VLS")))
        result = QStringLiteral("VLS");
    if (tail.contains(L1("OLS")) && !tail.contains(L1("EOLS")))
        result = QStringLiteral("OLS");
    if (tail.contains(L1("CLS")))
        result = QStringLiteral("CLS");
    return result;
}

// ---- last layer ----

int32_t llSkips(const QString &first, const QString &second)
{
    const bool firstIsAuf = first.contains(kAufTag);
    bool skipFirst = firstIsAuf || first.isEmpty();
    // An AUF-only first step means the whole last layer was solved already.
    bool skipSecond = second.contains(kAufTag) || second.isEmpty() || firstIsAuf;
    if (!skipFirst && countMoves(first) == 0)
        skipFirst = true;
    if (!skipSecond && countMoves(second) == 0)
        skipSecond = true;
    return int32_t(skipFirst) + 2 * int32_t(skipSecond);
}

AufIndices aufIndices(const QString &first, const QString &second)
{
    const auto &list = analysisAufs();
    AufIndices result;
    int32_t firstEnd = 0;

    // The "// AUF" tag is looked for after rotation removal and cancellation,
    // which run on the whole text, comment included.
    const QString firstMoves = cancelPairs(stripRotations(first));
    if (firstMoves.contains(kAufTag)) {
        firstEnd = aufAtEnd(stripComment(firstMoves), list);
        result.final = firstEnd;
    } else {
        const QString text = stripComment(firstMoves);
        result.beforeFirst = aufAtStart(text, list);
        firstEnd = aufAtEnd(text, list);
    }

    const QString secondMoves = cancelPairs(stripRotations(second));
    const QString text = stripComment(secondMoves);
    if (secondMoves.contains(kAufTag)) {
        result.final = aufAtEnd(text, list);
    } else {
        result.beforeSecond = aufAtStart(text, list);
        if (const int32_t end = aufAtEnd(text, list); end != 0)
            result.final = end;
    }
    // No second step: the first step's closing U turn is the final AUF.
    if (text.isEmpty())
        result.final = firstEnd;
    return result;
}

LlNames llNames(const QString &first, const QString &second)
{
    // Longer tags before the tags they contain ("// OLL(CP)" before "// OLL").
    static const std::array<L1, 9> firstTags = {
        L1("// COLL"), L1("// ZBLL"),    L1("// OLL(CP)"), L1("// OLLCP"), L1("// OLL%28CP%29"),
        L1("// 2GLL"), L1("// EO+ZBLL"), L1("// 1LLL"),    L1("// OLL")};
    static const std::array<L1, 3> secondTags = {L1("// EPLL"), L1("// ZBLL"), L1("// PLL")};

    LlNames names;
    if (const int tag = firstContainedTag(first, firstTags); tag >= 0)
        names.first = QString(firstTags[tag].mid(3));
    // The URL-encoded and EO-prefixed spellings name the same sets.
    if (names.first == L1("OLL%28CP%29"))
        names.first = QStringLiteral("OLL(CP)");
    else if (names.first == L1("EO+ZBLL"))
        names.first = QStringLiteral("ZBLL");

    if (const int tag = firstContainedTag(second, secondTags); tag >= 0)
        names.second = QString(secondTags[tag].mid(3));
    return names;
}

QString ollFamily(const QString &field)
{
    // The case number is the last blank-separated word ("OLL 21"); anything
    // that is not a number reads as 0.
    const qsizetype blank = field.lastIndexOf(u' ');
    bool ok = false;
    int k = QStringView(field).mid(blank + 1).toInt(&ok, 10);
    if (!ok)
        k = 0;
    if (k <= 4 || (k >= 17 && k <= 20))
        return QStringLiteral("Dot");
    if (k >= 21 && k <= 27)
        return QStringLiteral("OCLL");
    return QStringLiteral("Others");
}

QString lastLayerRow(const QString &row)
{
    if (isMultiLine(row))
        return QStringLiteral("\t\t\t\t\t\t\t");

    QString first;
    QString second;
    if (const qsizetype tab = row.indexOf(u'\t'); tab >= 0) {
        first = row.left(tab);
        second = row.mid(row.lastIndexOf(u'\t') + 1);
    } else {
        second = row;
    }

    // Reported with their "// "; a first step tagged "// OLL(CP)" reports
    // "// OLL", which comes first.
    static const std::array<L1, 4> firstTags = {L1("// OLL"), L1("// COLL"), L1("// ZBLL"),
                                                L1("// OLL(CP)")};
    static const std::array<L1, 3> secondTags = {L1("// PLL"), L1("// EPLL"), L1("// ZBLL")};
    const int firstIndex = firstContainedTag(first, firstTags);
    const L1 firstTag = firstIndex < 0 ? L1() : firstTags[firstIndex];
    const int secondIndex = firstContainedTag(second, secondTags);
    const L1 secondTag = secondIndex < 0 ? L1() : secondTags[secondIndex];

    const auto &list = calculatorAufs();
    int32_t auf = 0;
    bool skipFirst = false;
    bool skipSecond = false;
    bool firstWasAuf = false;
    if (first.contains(kAufTag)) {
        skipFirst = true;
        firstWasAuf = true;
        auf = aufAtEnd(stripComment(first), list);
        first.clear();
    } else {
        skipFirst = first.isEmpty();
    }
    if (second.contains(kAufTag)) {
        skipSecond = true;
        auf = aufAtEnd(stripComment(second), list);
        second.clear();
    } else {
        // An AUF-only first step means the whole last layer was skipped.
        skipSecond = second.isEmpty() || firstWasAuf;
    }

    first = stripComment(first);
    second = stripComment(second);
    const int32_t firstMoves = countMoves(first);
    const int32_t secondMoves = countMoves(second);
    if (firstMoves == 0)
        skipFirst = true;
    if (secondMoves == 0)
        skipSecond = true;

    first = cancelPairs(first);
    second = cancelPairs(second);

    // The AUFs around the algorithms are cut, each token once, without
    // trimming: the blank next to a cut token stays in the row.
    for (const L1 &token : list) {
        if (first.endsWith(token))
            first.chop(token.size());
        if (second.endsWith(token))
            second.chop(token.size());
        if (startsWithToken(first, token))
            first.remove(0, token.size());
        if (startsWithToken(second, token))
            second.remove(0, token.size());
    }

    return first % u'\t' % second % u'\t' % firstTag % u'\t' % secondTag % u'\t'
           % QString::number(firstMoves) % u'\t' % QString::number(secondMoves) % u'\t'
           % QString::number(auf) % u'\t'
           % QString::number(int32_t(skipFirst) + 2 * int32_t(skipSecond));
}

}  // namespace cube
