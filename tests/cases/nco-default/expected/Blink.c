//Kivo Generated C main file


#include "Platform.h" 

int nLoop;

void setup()
{//SETUP
    //Do Setup 


    _pinstart(24, P_NCO_FREQ+P_OE, 0x00000001, 0x15555555); //configure smart pin for NCO Freq 
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

