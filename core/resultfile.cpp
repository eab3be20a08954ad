#include "resultfile.h"
