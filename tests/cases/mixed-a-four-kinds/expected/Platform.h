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
#define Filter1_Length0 0
#define Filter1_Tap0 0
#define Filter1_Length1 2
#define Filter1_Tap1 12
#define Filter1_Length2 0
#define Filter1_Tap2 0
#define Filter1_Length3 0
#define Filter1_Tap3 0

#define SmartPin1 38

#endif /*_PLATFORM_H_*/
/* Nothing beyond this*/

