#include "sankaspin.h"
