#pragma once

#include "SolveRecord.h"

#include <QString>
#include <QStringList>

#include <cstdint>

// Per-solve analysis of a SolveRecord whose raw fields are filled.
namespace cube {

// The method-independent fields: step times, per-step moves, rotations and
// generators, whole-solve generators and letter shares, turns per second,
// time bucket. Expects `steps` to hold kStepCount texts.
void analyseCommon(SolveRecord &record);

// Completes a CFOP solve (cross, four pairs, OLL-type step, PLL-type step) in place.
void analyseCfop(SolveRecord &record);

// Completes a Roux solve (FB, SS, SP, CMLL, EOLR, EP) in place.
void analyseRoux(SolveRecord &record);

// Name of a last-six-edges step: "Skip" when empty, the text after its last
// "//" when commented, else `defaultName`.
QString rouxStepName(const QString &text, const QString &defaultName);

// Bit 0: CMLL (step 3) empty, bit 1: EOLR (step 4), bit 2: EP (step 5), each
// after its comment, U turns and y rotations at the ends and cancellations
// are removed. 0 with fewer than six steps.
int32_t lseSkips(const QStringList &steps);

}  // namespace cube
