//Kivo Generated Platform.h file
#ifndef _PLATFORM_H_
#define _PLATFORM_H_

enum { _clkfreq = 160000000};

#include "propeller2.h"
#include "stdio.h"
#include "stdlib.h"
#include "stdint.h"
#include "stdbool.h"


//I2C Bus Pins and Settings for I2CScan1
#define I2CScan1SCLPIN 20
#define I2CScan1SDAPIN 22
#define I2CScan1SPEED 250
#define I2CScan1PULLUP 2 


#endif /*_PLATFORM_H_*/
/* Nothing beyond this*/

