//Kivo Generated Platform.h file
#ifndef _PLATFORM_H_
#define _PLATFORM_H_

enum { _clkfreq = 160000000};

#include "propeller2.h"
#include "stdio.h"
#include "stdlib.h"
#include "stdint.h"
#include "stdbool.h"


#define Button 40

#define SmartPin2 38

#endif /*_PLATFORM_H_*/
/* Nothing beyond this*/

