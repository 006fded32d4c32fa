// Test fixture: only the entry points the generated code calls.
#ifndef ADC_FIXTURE_H
#define ADC_FIXTURE_H
#include "Platform.h"

void ADC_Start(int pin, int wrpin, int wxpin) { _pinstart(pin, wrpin, wxpin, 0); }
void ADC_StartSinc2(int pin, int period) { (void)pin; (void)period; }
void ADC_StartSinc3(int pin, int period) { (void)pin; (void)period; }
float ADC_result(int pin) { return _rdpin(pin) * 1.0f; }
int ADC_raw(int pin) { return _rdpin(pin); }
float ADC_resultSinc2(int pin, int mode, int period) { return pin + mode + period; }
float ADC_resultSinc3(int pin, int mode, int period) { return pin + mode + period; }
int ADC_rawSinc2(int pin, int mode, int period) { return pin + mode + period; }
int ADC_rawSinc3(int pin, int mode, int period) { return pin + mode + period; }
#endif
