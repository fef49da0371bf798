#include "SolveList.h"
