//Kivo Generated Platform.h file
#ifndef _PLATFORM_H_
#define _PLATFORM_H_

enum { _clkfreq = 160000000};

#include "propeller2.h"
#include "stdio.h"
#include "stdlib.h"
#include "stdint.h"
#include "stdbool.h"


//Simple VGA Basepin for SimpleVGA1
#define VGA_BASEPIN 48


//I2C Bus Pins and Settings for I2CScan1
#define I2CScan1SCLPIN 44
#define I2CScan1SDAPIN 45
#define I2CScan1SPEED 100
#define I2CScan1PULLUP 0 


//Neopixel pin and settings for Neopixel1
#define NEOPIXELS 1
#define NEOPIXEL_COLOR 0xFF321900
#define NEOPIXEL_PIN 53
#define NEOPIXEL_HOLDOFF 5

//Header for RTC Object: RTC1
#include "rtc.h"


//Simple Sound Audio pins for SimpleSound1
#define AV_LeftPin 54
#define AV_RightPin 55

#define Servo1_PIN 38 //I/O pin to use for Servo1
#define Servo1_MODE 0 //0 for degrees, 1 for microseconds

#define SmartPin1 40
#define Filter1_Length0 0
#define Filter1_Tap0 0
#define Filter1_Length1 0
#define Filter1_Tap1 0
#define Filter1_Length2 0
#define Filter1_Tap2 0
#define Filter1_Length3 0
#define Filter1_Tap3 0
#define DAC1_AnalogPin 41
#define DAC1_AnalogLevel 122

//Header and settings for ADC Object: ADC1
#include "adc.h"
#define ADC1_AnalogPin 42
#define ADC1_WRPIN (P_LOCAL_A|P_ADC_1X|P_ADC)
#define ADC1_WXPIN (13)

//Settings for USB Object: UsbKbM1
#define UsbKbM1_BASE_PIN 8
#define UsbKbM1_ENABLE_PIN 9
#define UsbKbM1_DM_PIN 10
#define UsbKbM1_ERR_LED_PIN 56

//USB Keyboard & Mouse status structure
typedef struct
{//reports mouse position and keyboard scan keys
	int x;
	int y;
	int MaxX;
	int MaxY;
	int buttons;
	char scancodes[8];
} KbMouseInfo;

#endif /*_PLATFORM_H_*/
/* Nothing beyond this*/

