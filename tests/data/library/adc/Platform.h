// A platform header shaped like a generated one with two ADC blocks, so
// adc.h is included twice.
#ifndef _PLATFORM_H_
#define _PLATFORM_H_

enum { _clkfreq = 160000000};

#include "propeller2.h"
#include "stdio.h"
#include "stdlib.h"
#include "stdint.h"
#include "stdbool.h"

#include "adc.h"
#define ADC1_AnalogPin 50
#define ADC1_WRPIN (P_LOCAL_A|P_ADC_1X|P_ADC)
#define ADC1_WXPIN (13)

#include "adc.h"
#define ADC2_AnalogPin 51
#define ADC2_WRPIN (P_LOCAL_A|P_ADC_1X|P_ADC)
#define ADC2_WYPIN (512)  //clocks 16..512

#endif /*_PLATFORM_H_*/
