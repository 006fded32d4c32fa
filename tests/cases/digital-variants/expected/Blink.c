//Kivo Generated C main file


#include "Platform.h" 

int nLoop;

void setup()
{//SETUP
    //Do Setup 


    //Configure Digital I/O pin Button in non-Smart Pin mode
    _pinstart(Button,P_TRUE_A|P_OUTBIT_A|P_FILT2_AB|P_INVERT_IN|P_TRUE_OUTPUT|P_HIGH_FAST|P_LOW_FAST|P_SYNC_IO|P_NORMAL, 0, 0);
    //set starting output mode
    _pinh(Button);
    printf("Button Started.\n");

    //Configure Digital I/O pin SmartPin2 in non-Smart Pin mode
    _pinstart(SmartPin2,P_TRUE_A|P_LOCAL_A|P_PASS_AB|P_TRUE_IN|P_TRUE_OUTPUT|P_HIGH_100UA|P_LOW_FLOAT|P_ASYNC_IO|P_NORMAL, 0, 0);
    //set starting output mode
    _pinl(SmartPin2);
    printf("SmartPin2 Started.\n");
}

void loop()
{//LOOP
    //show Digital I/O pin input
    printf("Button IN = % d\n", _pinr(Button));

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

