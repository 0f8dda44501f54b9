// An operating system header where none is allowed, and a header that is not there.
#include "high/Gone.h"
#include <windows.h>
