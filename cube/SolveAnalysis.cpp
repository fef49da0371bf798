#include "SolveAnalysis.h"
