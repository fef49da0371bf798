#include "Calculator.h"
