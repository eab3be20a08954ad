#include "timerules.h"
