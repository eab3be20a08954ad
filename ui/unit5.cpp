#include "unit5.h"
