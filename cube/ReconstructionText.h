#pragma once

#include <QString>
#include <QStringList>

// Reconstructions pasted from a spreadsheet: one solve per line, cells
// separated by tabs, multi-line cells wrapped in double quotes.
namespace cube {

// Folds every quoted cell into one line: line feeds, carriage returns and tabs
// between a pair of quotes become blanks and the quotes disappear. An
// unpaired last quote is removed together with the text's last character.
// Linear in the length of the text.
QString foldQuotedCells(const QString &text);

// The rows of pasted text: folded, then split at every line feed (empty rows kept).
QStringList pastedRows(const QString &text);

}  // namespace cube
