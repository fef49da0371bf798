#include "MoveText.h"
