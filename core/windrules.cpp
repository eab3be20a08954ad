#include "windrules.h"
