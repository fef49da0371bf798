#pragma once

#include "SolveRecord.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

// Filters, the solve list and the summary line of the solve database
// analyser. Solves are addressed by their index in the loaded vector; a list
// of such indices ("shown") is what the list, the summary, the charts and the
// solve tables work on.
namespace db {

// Entries of the filter boxes, in box order. The first entry of the puzzle,
// method, solver and filter-type boxes means "no filtering by this box".
QStringList puzzleEntries();      // "Any", "3x3", "OH"
QStringList methodEntries();      // "Any", "CFOP", "Roux", "ZZ", "Mehta", "Petrus"
QStringList filterTypeEntries();  // "None", "Time", "Cross", "Skip", "PLL"
QStringList timeFilterEntries();  // "Sub4" ... "Sub10", "Sup10"
QStringList crossFilterEntries(); // "Cross", "XCross", "XXCross", "Other": crossType 0 to 3
QStringList skipFilterEntries();  // "OLL", "PLL", "Last Layer"
QStringList pllFilterEntries();   // the 21 PLL names, "Aa" to "Z"

// The typed filter's kinds, in the order of filterTypeEntries().
enum class FilterType { None, Time, Cross, Skip, Pll };

// The type a filterTypeEntries() text names ("None", "Time", "Cross",
// "Skip", "PLL"; the command line's TYPE); nullopt for any other text.
std::optional<FilterType> filterTypeNamed(const QString &name);

// The parameter entries offered for a filter type: the time, cross, skip or
// PLL entries; none for FilterType::None.
QStringList filterParamEntries(FilterType type);

// The solver name of a solver-box entry "name [count]": what stands before
// the last "[" less the blank in front of it. An entry without "[" is
// returned unchanged.
QString solverNameFromEntry(const QString &entry);

// The choice in the filter boxes, by position and kind, never by the texts
// the boxes show (which may be translated). Position 0 of the puzzle and
// method boxes, like a position outside their entries (no current entry),
// means no filtering by that box.
struct FilterSelection
{
    int puzzle = 0;   // position in puzzleEntries()
    int method = 0;   // position in methodEntries()
    QString solver;   // a solver's name, matched exactly; empty: every solver
    FilterType filterType = FilterType::None;
    int filterParam = 0;  // position in filterParamEntries(filterType)
};

// Indices of the solves that pass every filter, fastest first; equal times
// keep file order. Puzzle and method (the entries' texts) and the solver
// must match the record exactly (case-sensitive). Typed filters:
// - Time: "SubN" keeps times strictly below N seconds (cumulative);
//   "Sup10" keeps real times of 10 s or more and never the placeholder.
// - Cross: crossType equal to the entry's position.
// - Skip: "OLL" keeps llSkips with bit 0 set, "PLL" with bit 1 set,
//   "Last Layer" llSkips == 3. Roux solves keep their own mask in llSkips
//   (bit 0 CMLL, bit 1 EOLR, bit 2 EP) and are matched by the same bits.
// - PLL: the first blank-separated word of pllAlg, less a trailing
//   "-perm", equals the chosen name ignoring case ("Ua", "ua perm" and
//   "Ua-perm" all name "Ua").
// A parameter position outside its type's entries matches no solve.
std::vector<int32_t> filterSolves(const std::vector<cube::SolveRecord> &solves, const FilterSelection &selection);

// One list entry: "7.500s\t<solver> (<puzzle> <method>)".
QString solveListText(const cube::SolveRecord &record);
// The entries of the `shown` solves, in that order; indices outside
// `solves` are skipped.
QStringList solveListTexts(const std::vector<cube::SolveRecord> &solves, const std::vector<int32_t> &shown);

// What the summary, the charts and the solve tables work on: `shown` when it
// is not empty, otherwise every solve in file order.
std::vector<int32_t> workingSet(const std::vector<cube::SolveRecord> &solves, const std::vector<int32_t> &shown);

// The summary line: "<n> solves selected (<avg>s avg)" for a non-empty
// `shown`, else "<n> solves in DB (<avg>s avg)" over every solve. The
// average (3 decimals) leaves placeholder times out; when no solve has a
// real time the parenthesis reads "(no times)". Indices outside `solves`
// are counted but add no time.
QString statsText(const std::vector<cube::SolveRecord> &solves, const std::vector<int32_t> &shown);

// `value` with exactly `decimals` digits after the point, rounded half away
// from zero; non-finite values print as 0 so that no "nan" or "inf" reaches
// the user, and -0 prints as 0.
QString fixedText(double value, int decimals);

// Settings key (store "Marrowby"/"DBAnalyser") of the solve database site's
// address, e.g. "https://example.org"; the program knows no default.
inline constexpr char kSolvePageSiteKey[] = "solvePageSite";

// Address of a solve's web page: the site address, "/r/" and the solve id as
// stored. Empty when no site address is configured.
QString solvePageAddress(const QString &siteAddress, const QString &solveId);

}  // namespace db
