#include "unit2.h"
