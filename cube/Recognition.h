#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

// Recognisers that read the cross, the F2L inserts and the last-layer steps
// of a CFOP solve from its move text and comments. Unrecognised input gives
// an empty text, 0 or -1; nothing here fails.
namespace cube {

// ---- cross ----

// Colour name on the bottom after the rotations of the tab-separated cells
// (each cell is read up to its first "/"), starting yellow down, blue back.
QString crossColour(const QString &text);

// Cross type from the comments (any case): 2 "xxcross", 1 "xcross",
// 3 "pseudo" or "partial", otherwise 0.
int32_t crossType(const QString &text);
// The same for two texts as if joined by a tab (no keyword spans the two).
int32_t crossType(QStringView first, QStringView second);

// ---- F2L pairs ----

enum class InsertTable {
    Analysis,    // codes 0 other, 1 direct, 2 with D/u, 3 wide/slice, 4 F turns
    Calculator,  // codes 0 other, 1 direct, 2 with D/u
};

// Slot names by index: 0 "", 1 "FR", 2 "FL", 3 "BR", 4 "BL".
QString slotName(int32_t slot);

struct InsertEntry
{
    const char *algorithm;  // Latin-1 text
    int32_t type;
    int32_t slot;
};

// The table entry whose algorithm ends the pair step (comment removed, ")2"
// and ")3" repeat markers dropped), or null; null as well for an empty or
// multi-line step.
const InsertEntry *matchInsert(const QString &text, InsertTable table);

// Calculator row for one pair step: algorithm, tab, code, tab, slot, tab, move
// count; matched fields empty when nothing matched, count empty when 0;
// "\t\t\t" for an empty or multi-line step.
QString insertRow(const QString &text);

struct InsertResult
{
    QString algorithm;
    QString code;  // decimal; "-1" when nothing matched
    QString slot;
};

// Analysis result for one pair step; nullopt for an empty or multi-line step.
std::optional<InsertResult> insertResult(const QString &text);

// Pairs solved together, as named in the comments: 0 none, 1 1st+2nd,
// 2 2nd+3rd, 3 3rd+4th; the last step naming two pairs decides.
int32_t multiSlot(const QStringList &steps);

// "None", "EOLS", "WVLS", "VLS", "OLS" or "CLS", from the last comment of the fourth pair step.
QString lastSlotType(const QString &step);

// ---- last layer ----

// Bit 0: the first last-layer step was skipped; bit 1: the second was.
int32_t llSkips(const QString &first, const QString &second);

// AUF indices in the analysis numbering: 0 none, 1 "U3'", 2 "U3", 3 "U2'",
// 4 "U2", 5 "U'", 6 "U".
struct AufIndices
{
    int32_t beforeFirst = 0;
    int32_t beforeSecond = 0;
    int32_t final = 0;

    friend bool operator==(const AufIndices &, const AufIndices &) = default;
};
AufIndices aufIndices(const QString &first, const QString &second);

struct LlNames
{
    QString first;   // "OLL", "COLL", "ZBLL", "OLL(CP)", "OLLCP", "2GLL", "1LLL" or ""
    QString second;  // "PLL", "EPLL", "ZBLL" or ""

    friend bool operator==(const LlNames &, const LlNames &) = default;
};
LlNames llNames(const QString &first, const QString &second);

// "Dot", "OCLL" or "Others" from the database's OLL case field (its last word is the case number).
QString ollFamily(const QString &field);

// Calculator row of eight tab-separated fields for one pasted row.
QString lastLayerRow(const QString &row);

}  // namespace cube
