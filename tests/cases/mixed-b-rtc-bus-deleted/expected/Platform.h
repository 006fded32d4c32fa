//Kivo Generated Platform.h file
#ifndef _PLATFORM_H_
#define _PLATFORM_H_

enum { _clkfreq = 160000000};

#include "propeller2.h"
#include "stdio.h"
#include "stdlib.h"
#include "stdint.h"
#include "stdbool.h"


//I2C Bus Pins and Settings for I2CScan2
#define I2CScan2SCLPIN 20
#define I2CScan2SDAPIN 21
#define I2CScan2SPEED 100
#define I2CScan2PULLUP 0 


//Header for RTC Object: RTC1
#include "rtc.h"


#endif /*_PLATFORM_H_*/
/* Nothing beyond this*/

