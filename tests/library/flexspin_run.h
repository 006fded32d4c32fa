#pragma once
// The library tests use the shared FlexSpin helpers.
#include "flexspin.h"
