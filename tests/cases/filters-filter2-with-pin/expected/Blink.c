//Kivo Generated C main file


#include "Platform.h" 

int nLoop;

void setup()
{//SETUP
    //Do Setup 


    //Configure Digital I/O pin SmartPin1 in non-Smart Pin mode
    _pinstart(SmartPin1,P_TRUE_A|P_LOCAL_A|P_FILT2_AB|P_TRUE_IN|P_TRUE_OUTPUT|P_HIGH_FAST|P_LOW_FAST|P_ASYNC_IO|P_NORMAL, 0, 0);
    //set starting output mode
    _pinf(SmartPin1);
    printf("SmartPin1 Started.\n");

    //Configure HUB digital filters
    _hubset(0x40000100 + (Filter1_Length2 << 5) + Filter1_Tap2);
}

void loop()
{//LOOP

    //toggle Digital I/O pin output
    _pinnot(SmartPin1);
    //show Digital I/O pin input
    printf("SmartPin1 IN = % d\n", _pinr(SmartPin1));

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

