#pragma once

#include "SolveRecord.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

// Solve tables: the per-solve analysis as tab-separated text for a
// spreadsheet, and the opposite direction, a solve table copied from the
// database's web site turned into database columns. Fields are written as
// they are, unquoted: a text holding a tab or a line feed breaks the layout.
namespace db {

// The header line, without its line feed. `method` chooses the step block
// for every line whatever the solves' own methods: "CFOP" adds 69 columns,
// "Roux" 27, anything else none. `includeMoves` adds the move-usage block:
// 15 whole-solve letter shares, the per-step shares of the method and the
// headers of its step columns.
QString tableHeader(const QString &method, bool includeMoves);

// One line, without its line feed, in the columns of tableHeader. Per-pair
// CFOP columns are written one per entry of the record's pair lists, so a
// solve without CFOP analysis has 28 CFOP columns fewer. With `includeMoves`
// the line ends with one column per step text (cleaned of comments, one pass
// of pair cancellation, then leading/trailing U turns and y rotations
// removed); the header names six of them for "Roux", seven for "CFOP" and
// none otherwise.
QString tableRow(const cube::SolveRecord &record, const QString &method, bool includeMoves);

// The header and a row per solve of `shown` in that order, or of every solve
// in file order when `shown` is empty; every line ends with "\n". Indices
// outside `solves` are skipped.
QString solveTable(const std::vector<cube::SolveRecord> &solves, const std::vector<int32_t> &shown,
                   const QString &method, bool includeMoves);

// Converts a solve table copied from a solve's web page (text with "\n" line
// ends; a "\r" before a line feed is dropped) into one line of database
// columns meant to be pasted at column 13: line 0, then per step text the
// text and its running mark (seconds, 3 decimals, starting at 0), then the
// fixed fields up to the mark unit "Time", 30 and the move count of every
// step but the first. No line feed at the end.
// Steps are the lines from line 2 up to the first line starting with "Step"
// or "View at"; six steps gain an empty first one. The time table starts two
// lines after a "Step" line, six after a "View at" line; its first six lines
// each add their second tab-separated field (unparsable: 0) to the running
// mark when they have one.
// Returns std::nullopt, with a reason in `error` when given, when there is
// no "Step"/"View at" line, when the time table has fewer than six lines, or
// when it yields fewer marks than there are step texts.
std::optional<QString> convertWebTable(const QString &text, QString *error = nullptr);

}  // namespace db
