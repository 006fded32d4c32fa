//Kivo Generated Platform.h file
#ifndef _PLATFORM_H_
#define _PLATFORM_H_

enum { _clkfreq = 160000000};

// override baud rate for serial, requires use of "_setbaud(_BAUD);" in code
#ifndef _BAUD
#define _BAUD 2000000 
#endif

#include "propeller2.h"
#include "stdio.h"
#include "stdlib.h"
#include "stdint.h"
#include "stdbool.h"

enum { heapsize = 8000 };  //override the default heapsize to give more


#define Servo1_PIN 38 //I/O pin to use for Servo1
#define Servo1_MODE 0 //0 for degrees, 1 for microseconds

#endif /*_PLATFORM_H_*/
/* Nothing beyond this*/

