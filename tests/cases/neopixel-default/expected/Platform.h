//Kivo Generated Platform.h file
#ifndef _PLATFORM_H_
#define _PLATFORM_H_

enum { _clkfreq = 160000000};

#include "propeller2.h"
#include "stdio.h"
#include "stdlib.h"
#include "stdint.h"
#include "stdbool.h"


//Neopixel pin and settings for Neopixel1
#define NEOPIXELS 1
#define NEOPIXEL_COLOR 0xFF321900
#define NEOPIXEL_PIN 53
#define NEOPIXEL_HOLDOFF 5

#endif /*_PLATFORM_H_*/
/* Nothing beyond this*/

