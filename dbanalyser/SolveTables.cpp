#include "SolveTables.h"
