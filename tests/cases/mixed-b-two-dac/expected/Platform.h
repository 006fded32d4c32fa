//Kivo Generated Platform.h file
#ifndef _PLATFORM_H_
#define _PLATFORM_H_

enum { _clkfreq = 160000000};

#include "propeller2.h"
#include "stdio.h"
#include "stdlib.h"
#include "stdint.h"
#include "stdbool.h"

#define DAC1_AnalogPin 49
#define DAC1_AnalogLevel 122
#define DAC2_AnalogPin 48
#define DAC2_AnalogLevel 200

#endif /*_PLATFORM_H_*/
/* Nothing beyond this*/

