#include "inputgrid.h"
