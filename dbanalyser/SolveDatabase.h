#pragma once

#include "SolveRecord.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QChar>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

// The CSV solve database: one line per solve, exported from the online
// database of reconstructed solves. Reading is lenient: the file is
// untrusted, so any bytes load without crash, and work stays linear in the
// size of the text.
namespace db {

// A data line needs at least this many fields (columns 0 to 44); shorter
// lines are skipped.
inline constexpr qsizetype kMinFieldCount = 45;

// Number of leading fields a line can contribute to a record (columns 0 to
// 46); further fields are never looked at.
inline constexpr qsizetype kReadFieldCount = 47;

// The record of one data line. `fields` are the raw texts of the line's
// columns; each is trimmed before use. Numbers are read with a decimal point
// only; unparsable, out-of-range and non-finite numbers read as 0. A time of
// 1 s or less (0 included) becomes the placeholder cube::kPlaceholderTime.
// The year is the integer before the first "-" of column 7, or, when that
// gives 0, the last four characters of column 8 as an integer (if it holds
// at least four). The common analysis is done on the result; the method
// analyses are not. Fewer than kMinFieldCount fields give an empty record.
cube::SolveRecord buildSolveRecord(const QStringList &fields);

// ',' when the text holds strictly more commas than semicolons, else ';'.
QChar chooseDelimiter(const QString &text);
char chooseDelimiterUtf8(QByteArrayView utf8);

// The quoting pass: inside a double-quoted stretch every delimiter, tab,
// line feed and carriage return becomes "|"; then every double quote is
// dropped. There is no escape: "" closes and reopens a stretch. The result
// never has more characters than `text`.
QString unquoteFields(const QString &text, QChar delimiter);

struct SolveDatabase
{
    // Data lines in file order; CFOP and Roux records carry their method's
    // analysis as well.
    std::vector<cube::SolveRecord> solves;
    // Texts of the solver box: "All", then "name [count]" per solver, the
    // most frequent first, equal counts by name in descending UTF-16
    // code-unit order.
    QStringList solverEntries;
};

// Told now and then, on the loading thread, how many lines of how many have
// been read; the last call has lines read == lines.
using LoadProgress = std::function<void(qint64 linesRead, qint64 lines)>;

// Parses a whole file after unquoteFields: lines are split on line feeds
// (a carriage return left at a line end is trimmed off with its field),
// lines starting with "ID" are headers and skipped, lines with fewer than
// kMinFieldCount fields are skipped, the rest become records.
// `delimiter` is ASCII.
SolveDatabase parseDatabase(const QString &text, QChar delimiter, const LoadProgress &progress = {});

// The same from UTF-8 bytes as a file holds them (a byte order mark at the
// start is not skipped here; it counts as a character of the first field),
// so the text is never widened to UTF-16 as a whole: fields are decoded one
// by one. Invalid sequences become replacement characters, as a decode of
// the whole text would make them. The lines are parsed in chunks on up to
// `threads` threads (0: one per core; the caller's thread is one of them);
// the result does not depend on the count. `progress` is called on the
// calling thread only.
SolveDatabase parseDatabaseUtf8(QByteArray utf8, char delimiter, const LoadProgress &progress = {},
                                int threads = 0);

// Reads `path` as UTF-8 (invalid sequences become replacement characters)
// and parses it with the delimiter chooseDelimiter picks. A file that cannot
// be opened gives std::nullopt, with a readable reason in `error` when given;
// any file that opens gives a database, possibly empty. Safe to run on a
// worker thread (it touches nothing shared); `progress` is called there.
std::optional<SolveDatabase> loadDatabaseFile(const QString &path, QString *error = nullptr,
                                              const LoadProgress &progress = {});

}  // namespace db
