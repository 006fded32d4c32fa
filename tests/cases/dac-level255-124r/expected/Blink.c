//Kivo Generated C main file


#include "Platform.h" 

int nLoop;

void setup()
{//SETUP
    //Do Setup 


    //Configure 8-bit Analog DAC mode on I/O pin DAC1 in non-Smart pin mode
    SetDacModeAndLevel(DAC1_AnalogPin, P_DAC_124R_3V, DAC1_AnalogLevel);
    _pinh(DAC1_AnalogPin);
    printf("DAC: DAC1 Started.\n");
}

void loop()
{//LOOP

    //randomly change DAC DAC1 level
    int DAC1_NewLevel = _rnd() % 255;  //random 8-bit level
    SetDacModeAndLevel(DAC1_AnalogPin, P_DAC_124R_3V, DAC1_NewLevel);
    printf("DAC1 level = %d\n", DAC1_NewLevel);

    //End Loop 
    printf("Loop #%d\n",nLoop++); 
}


void SetDacModeAndLevel(int pin, int mode, uint8_t level)
{//set the non-Smart mode DAC level
	_pinstart(pin, mode + (level << 8), 0, 0);
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

