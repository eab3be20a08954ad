#include "rs232cfunc.h"
