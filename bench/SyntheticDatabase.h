#pragma once

#include <QString>

#include <cstdint>

// Writes a deterministic synthetic solve database in the CSV layout of the
// solve database site: a header line, then `solveCount` solves (about two
// thirds CFOP, the rest Roux, a few of other methods) by 40 solvers, with
// commented step texts drawn from realistic reconstructions. The same
// `seed` always gives the same text.
QString SyntheticDatabaseCsv(int solveCount, uint32_t seed = 20261206);
