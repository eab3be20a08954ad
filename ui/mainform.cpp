#include "mainform.h"
