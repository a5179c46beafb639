#include "recorder/cdib.h"
