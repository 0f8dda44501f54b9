// Includes a folder above its own.
#pragma once
#include "high/Top.h"
