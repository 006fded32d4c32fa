//Kivo Generated Platform.h file
#ifndef _PLATFORM_H_
#define _PLATFORM_H_

enum { _clkfreq = 160000000};

#include "propeller2.h"
#include "stdio.h"
#include "stdlib.h"
#include "stdint.h"
#include "stdbool.h"


//Header and settings for ADC Object: ADC1
#include "adc.h"
#define ADC1_AnalogPin 50
#define ADC1_WRPIN (P_PLUS1_A|P_ADC_100X|P_ADC)
#define ADC1_WYPIN (512)  //clocks 16..512

#endif /*_PLATFORM_H_*/
/* Nothing beyond this*/

