#include "guard.h"
