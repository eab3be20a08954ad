#include "keyfilter.h"
