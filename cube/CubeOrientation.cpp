#include "CubeOrientation.h"
