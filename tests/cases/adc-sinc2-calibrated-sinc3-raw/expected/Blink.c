//Kivo Generated C main file


#include "Platform.h" 

int nLoop;

void setup()
{//SETUP
    //Do Setup 


    //Configure ADC mode on I/O pin ADC1 in SINC2 filtering mode
    ADC_StartSinc2(ADC1_AnalogPin, ADC1_WYPIN);

    //Configure ADC mode on I/O pin ADC2 in SINC3 filtering mode
    ADC_StartSinc3(ADC2_AnalogPin, ADC2_WYPIN);
}

void loop()
{//LOOP

    //Show ADC1 calibrated reading in SINC2 filtering mode
    printf("ADC ADC1 calibrated reading = %f\n", ADC_resultSinc2(ADC1_AnalogPin, ADC1_WRPIN, ADC1_WYPIN));

    //Show ADC2 uncalibrated reading in SINC3 filtering mode
    printf("ADC ADC2 uncalibrated reading = %d\n", ADC_rawSinc3(ADC2_AnalogPin, ADC2_WRPIN, ADC2_WYPIN));

    //End Loop 
    printf("Loop #%d\n",nLoop++); 
}

void main()
{//MAIN
    setup();
    printf("Setup complete.\n");

    for (;;)
    {
        loop();
        sleep(1); //wait a second
    }
}

