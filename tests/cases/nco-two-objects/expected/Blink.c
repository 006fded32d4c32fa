//Kivo Generated C main file


#include "Platform.h" 

int nLoop;

void setup()
{//SETUP
    //Do Setup 


    _pinstart( 7, P_NCO_FREQ+P_OE, 0x00000005, 0x0000B88D); //configure smart pin for NCO Freq 
    printf("NCO Frequency Smart Pin started.\n");

    _pinstart(24, P_NCO_FREQ+P_OE, 0x00000019, 0x20000000); //configure smart pin for NCO Freq 
    printf("NCO Frequency Smart Pin started.\n");
}

void loop()
{//LOOP

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

