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
#define NEOPIXELS 60
#define NEOPIXEL_COLOR 0xFF0000
#define NEOPIXEL_PIN 16
#define NEOPIXEL_HOLDOFF 50

#endif /*_PLATFORM_H_*/
/* Nothing beyond this*/

