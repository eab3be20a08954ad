#include "unit4.h"
