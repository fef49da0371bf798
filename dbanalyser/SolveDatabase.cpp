#include "SolveDatabase.h"
