// A platform header shaped like a generated one, with the clock's block.
#ifndef _PLATFORM_H_
#define _PLATFORM_H_

enum { _clkfreq = 160000000};

#include "propeller2.h"
#include "stdio.h"
#include "stdlib.h"
#include "stdint.h"
#include "stdbool.h"

//Header for RTC Object: RTC1
#include "rtc.h"

#endif /*_PLATFORM_H_*/
