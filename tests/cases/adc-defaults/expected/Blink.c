//Kivo Generated C main file


#include "Platform.h" 

int nLoop;

void setup()
{//SETUP
    //Do Setup 


    //Configure ADC mode on I/O pin ADC1 in sampling mode
    ADC_Start(ADC1_AnalogPin, ADC1_WRPIN, ADC1_WXPIN);
}

void loop()
{//LOOP

    //Show ADC1 calibrated reading in SINC2 sampling mode
    printf("ADC ADC1 calibrated reading = %f\n", ADC_result(ADC1_AnalogPin));

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

