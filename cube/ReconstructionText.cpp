#include "ReconstructionText.h"
