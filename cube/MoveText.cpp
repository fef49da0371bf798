#include "MoveText.h"

#include <QStringView>
#include <QVarLengthArray>

#include <algorithm>
#include <bit>
#include <cstring>
#include <iterator>
#include <string_view>

// Every text operation here is defined as a sequence of literal replace-all
// passes over the whole text. They are carried out in place on a stack buffer
// (every replacement is shorter than its pattern, so the text only shrinks),
// and passes that provably cannot match are skipped; the results are exactly
// those of the literal sequence. These functions run many times per analysed
// solve, so the common case allocates at most the returned QString.
namespace cube {

namespace {

using Buffer = QVarLengthArray<char16_t, 256>;
using Pattern = std::u16string_view;

// Texts above this many characters times cancellation passes stop cancelling:
// ordinary reconstructions reach their fixed point after a handful of passes
// over a few hundred characters, so only hostile input ever meets the limit.
constexpr qsizetype kCancelWorkBudget = 50'000'000;

QStringView viewOf(const Buffer &buffer)
{
    return QStringView(buffer.data(), buffer.size());
}

void load(Buffer &buffer, QStringView text)
{
    buffer.resize(text.size());
    if (!text.isEmpty())
        std::memcpy(buffer.data(), text.utf16(), size_t(text.size()) * sizeof(char16_t));
}

void appendBlankIfMissing(Buffer &buffer)
{
    if (buffer.isEmpty() || buffer.back() != u' ')
        buffer.append(u' ');
}

bool isTrimmed(QStringView text)
{
    return text.isEmpty() || (!text.front().isSpace() && !text.back().isSpace());
}

// Trims like QString::trimmed, in place.
void trim(Buffer &buffer)
{
    const QStringView whole = viewOf(buffer);
    const QStringView kept = whole.trimmed();
    if (kept.size() == whole.size())
        return;
    const qsizetype offset = kept.isEmpty() ? 0 : kept.utf16() - whole.utf16();
    if (offset > 0 && !kept.isEmpty())
        std::memmove(buffer.data(), buffer.data() + offset, size_t(kept.size()) * sizeof(char16_t));
    buffer.resize(kept.size());
}

// Position of the first occurrence of `pattern` in data[from, size), or -1.
// Patterns are a few characters long: a scan for the first character with a
// compare beats a general string search on these short texts.
qsizetype find(const char16_t *data, qsizetype size, Pattern pattern, qsizetype from)
{
    const auto patternSize = qsizetype(pattern.size());
    const char16_t first = pattern.front();
    const qsizetype last = size - patternSize;
    for (qsizetype i = from; i <= last; ++i) {
        if (data[i] != first)
            continue;
        qsizetype k = 1;
        while (k < patternSize && data[i + k] == pattern[size_t(k)])
            ++k;
        if (k == patternSize)
            return i;
    }
    return -1;
}

// Replace-all as QString::replace does it: left to right, non-overlapping,
// replaced text is not searched again. `replacement` must not be longer than
// `pattern`. Returns whether anything was replaced.
bool replaceAll(Buffer &buffer, Pattern pattern, Pattern replacement)
{
    const qsizetype size = buffer.size();
    const auto patternSize = qsizetype(pattern.size());
    const auto replacementSize = qsizetype(replacement.size());
    char16_t *data = buffer.data();

    qsizetype match = find(data, size, pattern, 0);
    if (match < 0)
        return false;

    // Writes stay at or behind the read position, so the part still to be
    // searched (from `read` on) is never overwritten.
    qsizetype write = match;
    qsizetype read = match;
    while (match >= 0) {
        if (write != read)
            std::memmove(data + write, data + read, size_t(match - read) * sizeof(char16_t));
        write += match - read;
        std::copy(replacement.begin(), replacement.end(), data + write);
        write += replacementSize;
        read = match + patternSize;
        match = find(data, size, pattern, read);
    }
    if (write != read)
        std::memmove(data + write, data + read, size_t(size - read) * sizeof(char16_t));
    buffer.resize(write + (size - read));
    return true;
}

bool isRotationLetter(char16_t c)
{
    return c == u'x' || c == u'y' || c == u'z';
}

// The rotation removal: a replace-all for each of "x2'", "y2'", "z2'", then
// "x'", "y'", "z'", then "x2", "y2", "z2", then "x", "y", "z".
void removeRotationsLiterally(Buffer &buffer, const bool hasLetter[3])
{
    static constexpr Pattern kRotations[4][3] = {
        {u"x2'", u"y2'", u"z2'"},
        {u"x'", u"y'", u"z'"},
        {u"x2", u"y2", u"z2"},
        {u"x", u"y", u"z"},
    };
    // A pattern can only match when its letter is in the text, and removals
    // never add a letter.
    for (const auto &form : kRotations) {
        for (int letter = 0; letter < 3; ++letter) {
            if (hasLetter[letter])
                replaceAll(buffer, form[letter], {});
        }
    }
}

// The usual case of the rotation removal in one scan. When every x, y and z
// starts a token (text start or a blank before it) that is exactly a letter,
// an optional 2 and an optional apostrophe, followed by a blank, each
// replace-all pass removes exactly the whole tokens of its form and joins
// blanks only, so the passes together remove exactly those tokens. Returns
// false, changing nothing, when some rotation letter is not such a token.
// The buffer ends with a blank.
bool removeWholeRotationTokens(Buffer &buffer)
{
    char16_t *data = buffer.data();
    const qsizetype size = buffer.size();
    const auto tokenEnd = [&](qsizetype i) -> qsizetype {
        if (i > 0 && data[i - 1] != u' ')
            return -1;
        qsizetype j = i + 1;
        if (j < size && data[j] == u'2')
            ++j;
        if (j < size && data[j] == u'\'')
            ++j;
        return j < size && data[j] == u' ' ? j : -1;
    };
    for (qsizetype i = 0; i < size; ++i) {
        if (isRotationLetter(data[i]) && tokenEnd(i) < 0)
            return false;
    }
    qsizetype write = 0;
    for (qsizetype i = 0; i < size;) {
        if (isRotationLetter(data[i])) {
            i = tokenEnd(i);
            continue;
        }
        data[write++] = data[i++];
    }
    buffer.resize(write);
    return true;
}

// Replace-all "   " by " ", then replace-all "  " by " ". Blank runs stay
// apart, and a run of k blanks becomes k / 3 + k % 3 blanks and then half of
// that, rounded up.
void collapseBlankRuns(Buffer &buffer)
{
    char16_t *data = buffer.data();
    const qsizetype size = buffer.size();
    qsizetype write = 0;
    for (qsizetype i = 0; i < size;) {
        if (data[i] != u' ') {
            data[write++] = data[i++];
            continue;
        }
        qsizetype run = 0;
        while (i < size && data[i] == u' ') {
            ++run;
            ++i;
        }
        const qsizetype afterTriples = run / 3 + run % 3;
        for (qsizetype k = (afterTriples + 1) / 2; k > 0; --k)
            data[write++] = u' ';
    }
    buffer.resize(write);
}

// stripRotations of `text` into the buffer.
void stripRotationsInto(Buffer &buffer, QStringView text)
{
    // One copying scan: append the blank, drop parentheses, turn d into U.
    // Doing d -> U before the rotation passes changes nothing, as no rotation
    // pattern holds a d or a U.
    buffer.resize(text.size() + 1);
    char16_t *out = buffer.data();
    qsizetype size = 0;
    bool hasLetter[3] = {false, false, false}; // x, y, z
    bool doubleBlank = false;
    const auto put = [&](char16_t c) {
        if (c == u' ' && size > 0 && out[size - 1] == u' ')
            doubleBlank = true;
        out[size++] = c;
    };
    for (const QChar qc : text) {
        char16_t c = qc.unicode();
        switch (c) {
        case u'(': case u')': continue;
        case u'd': c = u'U'; break;
        case u'x': hasLetter[0] = true; break;
        case u'y': hasLetter[1] = true; break;
        case u'z': hasLetter[2] = true; break;
        default: break;
        }
        put(c);
    }
    if (text.isEmpty() || text.back() != u' ')
        put(u' ');
    buffer.resize(size);

    if (hasLetter[0] || hasLetter[1] || hasLetter[2]) {
        if (!removeWholeRotationTokens(buffer))
            removeRotationsLiterally(buffer, hasLetter);
        doubleBlank = true; // removals may have brought blanks together
    }

    if (doubleBlank)
        collapseBlankRuns(buffer);
    trim(buffer);
}

struct CancelRule
{
    Pattern pattern;
    Pattern replacement;
};

// One cancellation pass applies these in order, each as a replace-all. Each
// pattern and replacement ends with a blank, so a pattern never matches the
// front of a longer token such as U2.
constexpr CancelRule kCancelRules[] = {
    {u"U U ", u"U2 "},
    {u"U' U' ", u"U2' "},
    {u"U U' ", u""},
    {u"U' U ", u""},
    {u"U2 U' ", u"U "},
    {u"U2' U ", u"U' "},
    {u"U2 U ", u"U' "},
    {u"U2' U' ", u"U "},
    {u"R R ", u"R2 "},
    {u"R' R' ", u"R2' "},
    {u"R R' ", u""},
    {u"R' R ", u""},
    {u"L L ", u"L2 "},
    {u"L' L' ", u"L2' "},
    {u"L L' ", u""},
    {u"L' L ", u""},
    {u"F F ", u"F2 "},
    {u"F' F' ", u"F2' "},
    {u"F F' ", u""},
    {u"F' F ", u""},
    {u"D D ", u"D2 "},
    {u"D' D' ", u"D2' "},
    {u"D D' ", u""},
    {u"D' D ", u""},
    {u"B B ", u"B2 "},
    {u"B' B' ", u"B2' "},
    {u"B B' ", u""},
    {u"B' B ", u""},
};
constexpr int kCancelRuleCount = int(std::size(kCancelRules));

// Index of the first rule, from `from` on, whose pattern occurs in `text`, or
// kCancelRuleCount when none does: one scan instead of a search per rule.
int firstMatchingRule(QStringView text, int from)
{
    const char16_t *data = text.utf16();
    const qsizetype size = text.size();
    int first = kCancelRuleCount;
    const auto at = [&](qsizetype i) -> char16_t { return i < size ? data[i] : u'\0'; };
    for (qsizetype i = 0; i + 3 < size; ++i) {
        const char16_t c = data[i];
        int base;
        switch (c) {
        case u'U': base = 0; break;
        case u'R': base = 8; break;
        case u'L': base = 12; break;
        case u'F': base = 16; break;
        case u'D': base = 20; break;
        case u'B': base = 24; break;
        default: continue;
        }
        const int last = base + (c == u'U' ? 7 : 3);
        if (base >= first || last < from)
            continue;
        // The four same-letter pairs "X X ", "X' X' ", "X X' ", "X' X " at
        // rule offsets 0 to 3, and for U the half-turn pairs at offsets 4 to 7.
        int found = kCancelRuleCount;
        const char16_t next = data[i + 1];
        if (next == u' ' && at(i + 2) == c) {
            if (at(i + 3) == u' ')
                found = base + 0;
            else if (at(i + 3) == u'\'' && at(i + 4) == u' ')
                found = base + 2;
        } else if (next == u'\'' && at(i + 2) == u' ' && at(i + 3) == c) {
            if (at(i + 4) == u'\'' && at(i + 5) == u' ')
                found = base + 1;
            else if (at(i + 4) == u' ')
                found = base + 3;
        } else if (c == u'U' && next == u'2') {
            const bool primeHalf = at(i + 2) == u'\'';
            const qsizetype j = primeHalf ? i + 3 : i + 2;
            if (at(j) == u' ' && at(j + 1) == u'U') {
                if (at(j + 2) == u'\'' && at(j + 3) == u' ')
                    found = primeHalf ? 7 : 4;
                else if (at(j + 2) == u' ')
                    found = primeHalf ? 5 : 6;
            }
        }
        if (found >= from)
            first = std::min(first, found);
        if (first == from)
            break;
    }
    return first;
}

// One cancellation pass without the final trim: the buffer must already end
// with a blank. Returns whether any rule replaced something. A rule whose
// pattern does not occur leaves the text as it is, so the pass jumps from one
// matching rule to the next.
bool cancelPassInPlace(Buffer &buffer)
{
    int rule = firstMatchingRule(viewOf(buffer), 0);
    if (rule == kCancelRuleCount)
        return false;
    do {
        replaceAll(buffer, kCancelRules[rule].pattern, kCancelRules[rule].replacement);
        rule = firstMatchingRule(viewOf(buffer), rule + 1);
    } while (rule < kCancelRuleCount);
    return true;
}

// Leading and trailing adjustments removed by normaliseEnds, longest first so
// that the first entry found at an end is the longest one there.
constexpr Pattern kEndTokens[] = {u"U3'", u"U3", u"U2'", u"U2", u"U'", u"U", u"y'", u"y"};

bool matchesAt(QStringView text, qsizetype at, Pattern token)
{
    for (size_t k = 0; k < token.size(); ++k) {
        if (text[at + qsizetype(k)].unicode() != token[k])
            return false;
    }
    return true;
}

// The first end token, in list order, found at the front (its length) or else
// at the back (minus its length) of `text`; 0 when none is found.
qsizetype endTokenCut(QStringView text)
{
    const qsizetype size = text.size();
    if (size == 0)
        return 0;
    // Every token starts with U or y and ends with one of U y ' 2 3.
    const char16_t front = text.front().unicode();
    const char16_t back = text.back().unicode();
    if (front != u'U' && front != u'y' && back != u'U' && back != u'y' && back != u'\''
        && back != u'2' && back != u'3')
        return 0;
    for (const Pattern token : kEndTokens) {
        const auto length = qsizetype(token.size());
        if (length > size)
            continue;
        if (matchesAt(text, 0, token))
            return length;
        if (matchesAt(text, size - length, token))
            return -length;
    }
    return 0;
}

// The part of a text before its comment, trimmed.
QStringView commentFree(QStringView text)
{
    if (text.startsWith(u'/'))
        return {};
    const qsizetype slash = text.indexOf(u'/');
    if (slash >= 0)
        text = text.left(slash);
    return text.trimmed();
}

// The text itself when the view covers all of it (no copy), else a copy.
QString fromView(const QString &text, QStringView view)
{
    if (view.size() == text.size())
        return text;
    return view.toString();
}

QString fromBuffer(const Buffer &buffer)
{
    return QString(reinterpret_cast<const QChar *>(buffer.data()), buffer.size());
}

// Counted-letter index for each 7-bit character code, -1 for the others.
constexpr std::array<int8_t, 128> kLetterIndex = [] {
    std::array<int8_t, 128> table{};
    table.fill(-1);
    for (int i = 0; i < kCountedLetterCount; ++i)
        table[size_t(kCountedLetters[i])] = int8_t(i);
    return table;
}();

} // namespace

QString stripComment(const QString &text)
{
    const QStringView kept = commentFree(text);
    if (kept.size() == text.size())
        return text;
    // The analysis of one solve strips the same step a dozen times (the
    // common counts, the CFOP phases, the inserts, the last-layer readers);
    // the last few results are kept per thread so that only the first makes
    // a copy. A hit compares the whole text, so the cache can never answer
    // for a different one.
    struct Entry
    {
        QString input;
        QString result;
    };
    constexpr size_t kEntries = 8;
    thread_local std::array<Entry, kEntries> recent;
    thread_local size_t next = 0;
    for (const Entry &entry : recent) {
        if (entry.input.size() == text.size() && QStringView(entry.input) == QStringView(text))
            return entry.result;
    }
    Entry &entry = recent[next];
    next = (next + 1) % kEntries;
    entry.input = text;
    entry.result = kept.toString();
    return entry.result;
}

QString stripRotations(const QString &text)
{
    Buffer buffer;
    stripRotationsInto(buffer, text);
    if (viewOf(buffer) == QStringView(text))
        return text;
    return fromBuffer(buffer);
}

QString cancelPairs(const QString &text)
{
    Buffer buffer;
    load(buffer, text);
    appendBlankIfMissing(buffer);
    if (!cancelPassInPlace(buffer))
        return fromView(text, QStringView(text).trimmed());
    trim(buffer);
    return fromBuffer(buffer);
}

QString normaliseEnds(const QString &text)
{
    // Each pass removes at most one entry from one end and trims; the kept
    // range only ever narrows, so this is linear in the text length.
    QStringView kept(text);
    while (const qsizetype cut = endTokenCut(kept)) {
        kept = cut > 0 ? kept.mid(cut) : kept.chopped(-cut);
        kept = kept.trimmed();
    }

    // Cancel until a pass leaves the text unchanged. A pass changes a text
    // exactly when a rule matches or the text was not trimmed: any replacement
    // shortens the text and leaves a blank at its end for the trim.
    Buffer buffer;
    load(buffer, kept);
    bool trimmedBefore = isTrimmed(kept);
    bool everChanged = false;
    qsizetype work = 0;
    while (work < kCancelWorkBudget) {
        work += buffer.size() + 1;
        appendBlankIfMissing(buffer);
        const bool matched = cancelPassInPlace(buffer);
        trim(buffer);
        if (!matched && trimmedBefore)
            break;
        everChanged = true;
        trimmedBefore = true;
    }

    if (!everChanged)
        return fromView(text, kept);
    return fromBuffer(buffer);
}

int32_t countMoves(const QString &text)
{
    Buffer buffer;
    stripRotationsInto(buffer, commentFree(text));
    const auto blanks = std::count(buffer.begin(), buffer.end(), u' ');
    return blanks > 0 ? int32_t(blanks + 1) : 0;
}

RotationCount countRotations(const QString &text, bool doubleD, bool withRL)
{
    int32_t full = 0;
    int32_t d = 0;
    int32_t rl = 0;
    for (const QChar qc : text) {
        switch (qc.unicode()) {
        case u'x': case u'y': case u'z': ++full; break;
        case u'd': ++d; break;
        case u'r': case u'l': ++rl; break;
        default: break;
        }
    }
    RotationCount count;
    count.full = full;
    count.wide = d + (doubleD ? d : 0) + (withRL ? rl : 0);
    return count;
}

int32_t countGen(const QString &text)
{
    // Distinct UTF-16 code units: a bit per 7-bit code, and a sorted list for
    // the rare others.
    uint64_t seen[2] = {0, 0};
    QVarLengthArray<char16_t, 16> others;
    for (const QChar qc : text) {
        const char16_t c = qc.unicode();
        switch (c) {
        case u' ': case u'\t': case u'\n': case u'\'': case u'2': case u'3':
        case u'(': case u')': case u'x': case u'y': case u'z':
            continue;
        default: break;
        }
        if (c < 128)
            seen[c >> 6] |= uint64_t(1) << (c & 63);
        else
            others.append(c);
    }
    std::sort(others.begin(), others.end());
    const auto distinctOthers = std::unique(others.begin(), others.end()) - others.begin();
    return int32_t(std::popcount(seen[0]) + std::popcount(seen[1]) + distinctOthers);
}

LetterShares letterShares(const QString &text)
{
    std::array<int32_t, kCountedLetterCount> counts{};
    int32_t total = 0;
    for (const QChar qc : text) {
        const char16_t c = qc.unicode();
        if (c < 128 && kLetterIndex[c] >= 0) {
            ++counts[size_t(kLetterIndex[c])];
            ++total;
        }
    }
    LetterShares shares{};
    if (total == 0)
        return shares;
    for (size_t i = 0; i < shares.size(); ++i)
        shares[i] = float(counts[i]) / float(total);
    return shares;
}

SliceShares sliceShares(const QString &text)
{
    int32_t m = 0;
    int32_t u = 0;
    for (const QChar qc : text) {
        if (qc == u'M')
            ++m;
        else if (qc == u'U')
            ++u;
    }
    SliceShares shares{};
    const int32_t total = m + u;
    if (total == 0)
        return shares;
    shares[0] = float(m) / float(total);
    shares[1] = float(u) / float(total);
    return shares;
}

} // namespace cube
