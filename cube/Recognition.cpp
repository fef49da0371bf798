#include "Recognition.h"
