#pragma once
#include <windows.h>
class cDIB {};
