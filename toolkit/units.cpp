#include "toolkit/units.h"
