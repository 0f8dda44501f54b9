// The other half of the loop.
#pragma once
#include "high/Top.h"
