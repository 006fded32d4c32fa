#pragma once
// The kind interface lives with the kinds.
#include "kinds/kind.h"
