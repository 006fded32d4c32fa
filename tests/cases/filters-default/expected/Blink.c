//Kivo Generated C main file


#include "Platform.h" 

int nLoop;

void setup()
{//SETUP
    //Do Setup 


    //Configure HUB digital filters
    _hubset(0x40000000 + (Filter1_Length0 << 5) + Filter1_Tap0);
    _hubset(0x40000080 + (Filter1_Length1 << 5) + Filter1_Tap1);
    _hubset(0x40000100 + (Filter1_Length2 << 5) + Filter1_Tap2);
    _hubset(0x40000180 + (Filter1_Length3 << 5) + Filter1_Tap3);
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

