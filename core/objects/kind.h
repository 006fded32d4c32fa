#pragma once
// The kind interface lives with the kinds; this name stays for the files
// that still include it here.
#include "kinds/kind.h"
