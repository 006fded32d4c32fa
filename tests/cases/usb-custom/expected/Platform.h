//Kivo Generated Platform.h file
#ifndef _PLATFORM_H_
#define _PLATFORM_H_

enum { _clkfreq = 160000000};

#include "propeller2.h"
#include "stdio.h"
#include "stdlib.h"
#include "stdint.h"
#include "stdbool.h"


//Settings for USB Object: UsbKbM1
#define UsbKbM1_BASE_PIN 22
#define UsbKbM1_ENABLE_PIN 24
#define UsbKbM1_DM_PIN 20
#define UsbKbM1_ERR_LED_PIN 23

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

