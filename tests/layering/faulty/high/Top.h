// One half of a loop.
#pragma once
#include "high/Loop.h"
