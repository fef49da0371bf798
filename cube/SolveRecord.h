#pragma once

#include "BlockPool.h"
#include "MoveText.h"

#include <QSharedData>
#include <QSharedDataPointer>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <algorithm>
#include <array>
#include <cstdint>
#include <initializer_list>

namespace cube {

// Time of a solve without a usable time; averages and charts leave it out.
inline constexpr float kPlaceholderTime = 99.99f;
inline constexpr int kStepCount = 7;

// One entry per F2L pair, or none (a solve without CFOP analysis), kept inside
// the record: five lists per solve as separate allocations were a fifth of
// the load time of a large database.
template<typename T>
class PairList
{
public:
    static constexpr size_t kCapacity = 4;

    PairList() = default;
    PairList(std::initializer_list<T> items)
    {
        Q_ASSERT(items.size() <= kCapacity);
        for (const T &item : items) {
            if (size_ < kCapacity)  // never past the end, even where asserts are off
                items_[size_++] = item;
        }
    }

    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    const T &operator[](size_t i) const { return items_[i]; }
    T &operator[](size_t i) { return items_[i]; }
    const T *begin() const { return items_.data(); }
    const T *end() const { return items_.data() + size_; }
    void clear() { *this = PairList(); }

    friend bool operator==(const PairList &a, const PairList &b)
    {
        return std::equal(a.begin(), a.end(), b.begin(), b.end());
    }

private:
    std::array<T, kCapacity> items_{};
    size_t size_ = 0;
};

// The CFOP fields of a solve beyond those in SolveRecord itself.
struct CfopFields
{
    float crossTime = 0.0f, f2lTime = 0.0f, ollTime = 0.0f, pllTime = 0.0f;
    PairList<float> pairTimes;
    int32_t crossMoves = 0, f2lMoves = 0, ollMoves = 0, pllMoves = 0;
    PairList<int32_t> pairMoves;
    float crossTps = 0.0f, f2lTps = 0.0f, ollTps = 0.0f, pllTps = 0.0f;
    RotationCount crossRotations, f2lRotations, ollRotations, pllRotations;
    PairList<RotationCount> pairRotations;
    float crossGen = 0.0f, f2lGen = 0.0f, ollGen = 0.0f, pllGen = 0.0f;  // f2lGen 0 when no pair uses a letter
    PairList<int32_t> pairGens;
    LetterShares crossLetters{}, f2lLetters{}, ollLetters{}, pllLetters{};
    PairList<QString> pairInserts;
    PairList<int32_t> pairInsertTypes;  // -1: no table algorithm ends the step
    PairList<QString> pairSlots;
    int32_t multiSlot = 0;
    QString lastSlotType;
    QString ollName;
    QString ollFamily;
    int32_t preOllAuf = 0, prePllAuf = 0, finalAuf = 0;

    friend bool operator==(const CfopFields &, const CfopFields &) = default;
};

// The Roux fields of a solve.
struct RouxFields
{
    float fbTime = 0.0f, ssTime = 0.0f, spTime = 0.0f, sbTime = 0.0f, cmllTime = 0.0f, eolrTime = 0.0f,
          epTime = 0.0f;
    int32_t fbMoves = 0, ssMoves = 0, spMoves = 0, sbMoves = 0, cmllMoves = 0, eolrMoves = 0, epMoves = 0;
    // Seconds per move; 0 for a step without moves.
    float fbRate = 0.0f, ssRate = 0.0f, spRate = 0.0f, sbRate = 0.0f, cmllRate = 0.0f, eolrRate = 0.0f,
          epRate = 0.0f;
    QString fbType, cmllType;  // never filled
    QString eolrName, epName;
    LetterShares fbLetters{}, ssLetters{}, spLetters{}, cmllLetters{}, eolrLetters{};
    SliceShares epLetters{};

    friend bool operator==(const RouxFields &, const RouxFields &) = default;
};

// A block of fields held apart from the record and shared until written: a
// solve carries the fields of one method at most, and a block it does not
// use is no block at all (it reads as default values). Reading never
// copies; edit() gives a block of the record's own. Compares by value.
template<typename Fields>
class SharedFields
{
public:
    const Fields &operator*() const { return d ? d->fields : empty(); }
    const Fields *operator->() const { return &**this; }
    Fields &edit()  // detaches
    {
        if (!d)
            d = new Data;
        return d->fields;
    }
    // Back to no block of its own.
    void reset() { d.reset(); }

    friend bool operator==(const SharedFields &a, const SharedFields &b)
    {
        return a.d.constData() == b.d.constData() || *a == *b;
    }

private:
    struct Data : QSharedData
    {
        Fields fields;

        // From huge-page slabs: see BlockPool.
        static void *operator new(size_t size)
        {
            Q_ASSERT(size == sizeof(Data));
            return blockPool<sizeof(Data)>().allocate();
        }
        static void operator delete(void *block) { blockPool<sizeof(Data)>().release(block); }
    };
    static const Fields &empty()
    {
        static const Fields instance;
        return instance;
    }
    QSharedDataPointer<Data> d;
};

// One solve of the database: the raw fields of its CSV line and everything the
// analysis derives from them. Times are in seconds, single precision; "rate"
// fields are seconds per move. Fields of an analysis that did not run stay
// zero, empty or as empty lists.
struct SolveRecord
{
    // ---- raw fields ----
    QString solveId;
    QString puzzle;
    float time = 0.0f;
    QString solver;
    QString method;
    QString crossColour;  // from the file; the CFOP analysis fills it when empty
    int32_t year = 0;
    std::array<float, kStepCount + 1> marks{};  // step boundaries, seconds or frame numbers
    QStringList steps;                          // kStepCount move texts with comments
    QString markUnit;                           // "Time": marks are seconds; else frame numbers
    float fps = 0.0f;
    int32_t moveCount = 0;
    int32_t crossMoveCountColumn = 0;
    QString reconstructor;
    QString ollCase;
    QString pllAlg;

    // ---- common analysis ----
    std::array<float, kStepCount> stepTimes{};
    std::array<int32_t, kStepCount> stepMoves{};
    std::array<RotationCount, kStepCount> stepRotations{};
    std::array<int32_t, kStepCount> stepGen{};
    float averageGen = 0.0f;  // 0 when no step uses a letter
    float totalGen = 0.0f;
    LetterShares letterShares{};
    int32_t totalFullRotations = 0;
    int32_t totalWideRotations = 0;
    float tps = 0.0f;
    QString timeBucket;  // "Sub8", "Sub10", ..., "Sup10"
    std::array<float, 4> stepShares{};
    QString spSlot;  // never filled; printed empty

    // ---- CFOP and Roux: what the filters and the list read for every solve ----
    int32_t crossType = 0;  // CFOP
    QString pllName;        // CFOP
    // CFOP: bit 0 OLL step skipped, bit 1 PLL step skipped.
    // Roux: bit 0 CMLL, bit 1 EOLR, bit 2 EP empty.
    int32_t llSkips = 0;

    // ---- the rest of each method's analysis (see CfopFields, RouxFields) ----
    SharedFields<CfopFields> cfop;
    SharedFields<RouxFields> roux;

    friend bool operator==(const SolveRecord &, const SolveRecord &) = default;
};

}  // namespace cube
