#pragma once

#include <QString>

#include <array>
#include <cstdint>

// Operations on move text: blank-separated move tokens in standard cube
// notation, optionally followed by a "//" comment. There is no move object:
// every operation matches characters and substrings, case-sensitively.
namespace cube {

// The fifteen counted move letters, in the order of every letter-share list.
inline constexpr char kCountedLetters[] = "RUFLDBMSErufldb";
inline constexpr int kCountedLetterCount = 15;

// Share of each counted letter among all counted letters of a text, in the
// order of kCountedLetters; all 0 for a text without a counted letter.
using LetterShares = std::array<float, kCountedLetterCount>;
// Shares of M and U, in that order; both 0 when the text has neither.
using SliceShares = std::array<float, 2>;

// Whole-cube rotations of a text: x, y and z letters, and wide (d, r, l) turns.
struct RotationCount
{
    int32_t full = 0;
    int32_t wide = 0;

    int32_t total() const { return full + wide; }
    friend bool operator==(const RotationCount &, const RotationCount &) = default;
};

// The text before its comment, trimmed. A text that starts with "/" is all
// comment. Only the blanks before the slashes go: "R U R'//x" keeps "R U R'".
QString stripComment(const QString &text);

// Removes whole-cube rotations (x, y, z with their suffixes) and parentheses,
// turns d into U, collapses blank runs and trims. A repeat marker after a
// group stays glued to the group's last move ("(R U)2" -> "R U2").
QString stripRotations(const QString &text);

// One pass of pairwise cancellation (R R -> R2, R R' -> nothing, U2 U -> U', ...),
// trimmed. Pairs formed by a replacement are left for the next pass.
QString cancelPairs(const QString &text);

// Removes leading and trailing U turns and y rotations, then cancels pairs
// until nothing changes. For texts of several megabytes the cancellation
// stops once its work would exceed a fixed budget, so that hostile input
// cannot hang the caller.
QString normaliseEnds(const QString &text);

// Moves of a text, one per token (half, slice and wide turns count 1; rotations
// count 0), comment excluded. A single token counts 0, so an AUF-only line is
// treated as a skipped step.
int32_t countMoves(const QString &text);

// Rotations of a text whose comment is already removed. full counts every x, y
// and z; wide counts every d (twice with `doubleD`) and, with `withRL`, every r and l.
RotationCount countRotations(const QString &text, bool doubleD, bool withRL);

// Number of distinct move letters (R U R' U' has 2), ignoring blanks, digits,
// apostrophes, parentheses and rotations.
int32_t countGen(const QString &text);

LetterShares letterShares(const QString &text);
SliceShares sliceShares(const QString &text);

}  // namespace cube
