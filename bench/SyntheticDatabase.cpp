#include "SyntheticDatabase.h"

#include <QStringList>

#include <array>
#include <random>

namespace {

constexpr int kColumns = 47;

// Raw engine output only: the standard distributions differ between
// library implementations, the engine's sequence does not.
class Picker
{
public:
    explicit Picker(uint32_t seed) : engine_(seed) {}
    uint32_t below(uint32_t n) { return engine_() % n; }
    template <size_t N>
    const char *pick(const std::array<const char *, N> &pool) { return pool[below(N)]; }

private:
    std::mt19937 engine_;
};

const std::array<const char *, 8> kCrosses = {
    "y2 R' D F' L D2 // cross",
    "x2 F R' D' L F2 // cross",
    "z2 D' R F D2 L' // xcross",
    "y' F' L' D R2 D' // cross",
    "x2 y R' F R D2 // cross",
    "D R' F' U' L2 D2 // cross",
    "x2 L F' R D' B2 // xxcross",
    "y2 F D R' D' L' // pseudo xcross",
};

const std::array<const char *, 12> kPairs = {
    "U R U' R' U' R U R'",
    "y' U' R' U R",
    "L' U L U2 L' U L",
    "U2 R U2 R' U' R U R'",
    "d R' U' R U R' U' R",
    "U' L U L' U L U' L'",
    "R U R' U2 R U' R'",
    "(U R U' R')2 U R U R'",
    "y U2 R U' R'",
    "U L' U' L U' L' U L",
    "R' U2 R U R' U' R",
    "U F' U' F U R U R'",
};

const std::array<const char *, 8> kOlls = {
    "R U2 R' U' R U' R' // OLL",
    "U F R U R' U' F' // OLL",
    "U2 r U R' U' r' F R F' // OLL",
    "R U R' U R U2 R' // OLL",
    "U' F (R U R' U')2 F' // OLL",
    "U2 // AUF",
    "R U R' U' R' F R F' // OLL",
    "y R' U' R U' R' U2 R // COLL",
};

const std::array<const char *, 8> kPlls = {
    "U R U R' U' R' F R2 U' R' U' R U R' F' U2 // PLL",
    "R2 U R U R' U' R' U' R' U R' U' // EPLL",
    "x R' U R' D2 R U' R' D2 R2 x' U // PLL",
    "U' R U' R U R U R U' R' U' R2 // EPLL",
    "U // AUF",
    "M2 U M2 U2 M2 U M2 // EPLL",
    "R' U R' U' y R' F' R2 U' R' U R' F R F // PLL",
    "F R U' R' U' R U R' F' R U R' U' R' F R F' U2 // PLL",
};

const std::array<const char *, 6> kFirstBlocks = {
    "x' F R' F' U' R2 // FB", "y' r' U' R' F R2 // FB", "x' U' F' R2 U R' // FB",
    "z' R U' r' F R // FB",   "x y' F' U2 R' F // FB",  "r' U' M' F R' F' // FB",
};
const std::array<const char *, 6> kSecondSquares = {
    "r U r' R U' R' // SS", "U' R' U2 R' // SS", "M U r U' R' // SS",
    "R' U' R2 U R' // SS",  "r' U' R U r // SS", "U R U' r' // SS",
};
const std::array<const char *, 6> kSecondPairs = {
    "U' R U R' r U r' // SP", "R U' R' U R U R' // SP", "U2 R' U R // SP",
    "r U' r' U2 R U R' // SP", "M' U R U' R' // SP",    "U R U2 R' // SP",
};
const std::array<const char *, 6> kCmlls = {
    "U R U R' U R U2 R' // CMLL", "U2 F R U R' U' F' // CMLL", "U2 // CMLL skip",
    "R U2 R' U' R U' R' // CMLL", "U' r U r' U' r' F r F' // CMLL", "F R U' R' U' R U R' F' // CMLL",
};
const std::array<const char *, 6> kEolrs = {
    "M' U M U2 M' U' M // EO UL/UR", "U M U' M' U2 M' U M // EOLR", "M U2 M' U M // EOLR",
    "M' U' M U M' U2 M // 4a",        "U' M' U M' // EOLR",          "",
};
const std::array<const char *, 5> kEps = {
    "U2 M2 U2 M2 // EP", "M2 U' M2 U2 M2 U' M2 // EP", "U M2 U2 M2 U // EP", "U' // EP skip", "M2 U2 M' U2 M' // EP",
};

const std::array<const char *, 4> kOllCases = {"Dot 2", "OCLL 26", "T-shape 33", "P 44"};
const std::array<const char *, 6> kPllCases = {"Ua", "Jb-perm", "T", "Aa", "Z", "Gc"};
const std::array<const char *, 6> kColours = {"", "", "", "White", "Yellow", "Blue"};

QString solverName(uint32_t index)
{
    static const std::array<const char *, 10> first = {"Ada", "Bo", "Chen", "Dara", "Eli",
                                                       "Fei", "Gus", "Hana", "Ivo", "Jun"};
    return QString::fromLatin1(first[index % first.size()]) + QLatin1Char(' ')
           + QString::number(index / first.size() + 1);
}

}  // namespace

QString SyntheticDatabaseCsv(int solveCount, uint32_t seed)
{
    Picker rng(seed);
    QString text;
    text.reserve(qsizetype(solveCount) * 600);
    QStringList header;
    for (int c = 0; c < kColumns; ++c)
        header << (c == 0 ? QStringLiteral("ID") : QStringLiteral("col%1").arg(c));
    text += header.join(QLatin1Char(',')) + QLatin1Char('\n');

    QStringList fields;
    for (int n = 0; n < solveCount; ++n) {
        fields.clear();
        for (int c = 0; c < kColumns; ++c)
            fields << QString();

        const uint32_t kind = rng.below(12);
        const bool roux = kind >= 8 && kind < 11;
        const bool other = kind == 11;
        const bool timeMarks = rng.below(3) == 0;
        const float fps = timeMarks ? 0.0f : (rng.below(2) ? 30.0f : 60.0f);

        std::array<QString, 7> steps;
        if (roux) {
            steps = {QString::fromLatin1(rng.pick(kFirstBlocks)), QString::fromLatin1(rng.pick(kSecondSquares)),
                     QString::fromLatin1(rng.pick(kSecondPairs)), QString::fromLatin1(rng.pick(kCmlls)),
                     QString::fromLatin1(rng.pick(kEolrs)), QString::fromLatin1(rng.pick(kEps)), QString()};
        } else {
            steps[0] = QString::fromLatin1(rng.pick(kCrosses));
            static const char *const ordinals[] = {"1st", "2nd", "3rd", "4th"};
            for (int k = 0; k < 4; ++k)
                steps[size_t(k) + 1] = QString::fromLatin1(rng.pick(kPairs)) + QStringLiteral(" // ")
                                       + QString::fromLatin1(ordinals[k]) + QStringLiteral(" pair");
            steps[5] = QString::fromLatin1(rng.pick(kOlls));
            steps[6] = QString::fromLatin1(rng.pick(kPlls));
        }

        // Step marks: seconds, or frame numbers at the recorded rate.
        float mark = 0.0f;
        const float unit = timeMarks ? 1.0f : fps;
        float total = 0.0f;
        for (int m = 0; m < 8; ++m) {
            fields[15 + 2 * m] = QString::number(double(mark), 'f', timeMarks ? 3 : 0);
            if (m < 7) {
                const float seconds = float(20 + rng.below(180)) / 100.0f;
                total += seconds;
                mark += seconds * unit;
            }
        }
        for (int s = 0; s < 7; ++s)
            fields[16 + 2 * s] = steps[size_t(s)];

        int moves = 0;
        for (const QString &step : steps)
            moves += int(step.count(QLatin1Char(' ')));
        fields[0] = QString::number(100000 + n);
        fields[1] = rng.below(10) == 0 ? QStringLiteral("OH") : QStringLiteral("3x3");
        fields[2] = rng.below(200) == 0 ? QString() : QString::number(double(total), 'f', 2);
        fields[4] = solverName(rng.below(40));
        fields[5] = other ? QStringLiteral("ZZ") : (roux ? QStringLiteral("Roux") : QStringLiteral("CFOP"));
        fields[6] = roux ? QString() : QString::fromLatin1(rng.pick(kColours));
        fields[7] = QStringLiteral("%1-%2-01").arg(2015 + rng.below(11)).arg(1 + rng.below(12));
        fields[32] = timeMarks ? QStringLiteral("Time") : QStringLiteral("Frame");
        fields[33] = timeMarks ? QString() : QString::number(double(fps));
        fields[35] = QString::number(moves);
        fields[42] = QString::number(5 + rng.below(6));
        fields[44] = QStringLiteral("Recon %1").arg(rng.below(5));
        fields[45] = roux ? QString() : QString::fromLatin1(rng.pick(kOllCases));
        fields[46] = roux ? QString() : QString::fromLatin1(rng.pick(kPllCases));
        text += fields.join(QLatin1Char(',')) + QLatin1Char('\n');
    }
    return text;
}
