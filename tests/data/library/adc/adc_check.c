// Every entry point of adc.h.
#include "Platform.h"

void main(void)
{
    ADC_Start(ADC1_AnalogPin, ADC1_WRPIN, ADC1_WXPIN);
    ADC_StartSinc2(ADC2_AnalogPin, ADC2_WYPIN);
    ADC_StartSinc3(ADC2_AnalogPin, ADC2_WYPIN);
    printf("%f %d\n", ADC_result(ADC1_AnalogPin), ADC_raw(ADC1_AnalogPin));
    printf("%f %d\n", ADC_resultSinc2(ADC2_AnalogPin, ADC2_WRPIN, ADC2_WYPIN),
           ADC_rawSinc2(ADC2_AnalogPin, ADC2_WRPIN, ADC2_WYPIN));
    printf("%f %d\n", ADC_resultSinc3(ADC2_AnalogPin, ADC2_WRPIN, ADC2_WYPIN),
           ADC_rawSinc3(ADC2_AnalogPin, ADC2_WRPIN, ADC2_WYPIN));
    ADC_Stop(ADC1_AnalogPin);
}
