//Kivo Generated C main file


#include "Platform.h" 

//Neopixel driver from OBEX with minor modifications for Neopixel1
struct __using("zd_rgbx_pixel_kqv.spin2") neopixel;  //KQV:  Visual Studio will show an error here, but it's OK
uint32_t pixbuf1[NEOPIXELS];
int nLoop;

void setup()
{//SETUP
    //Do Setup 


    _pinstart(24, P_NCO_FREQ+P_OE, 0x00000003, 0x00013A94); //configure smart pin for NCO Freq 
    printf("NCO Frequency Smart Pin started.\n");

    for (int i = 0; i < NEOPIXELS; i++)
        pixbuf1[i] = NEOPIXEL_COLOR;
    neopixel.start_2812b(pixbuf1, NEOPIXELS, NEOPIXEL_PIN, NEOPIXEL_HOLDOFF);            // start pixel driver
    printf("Neopixel Driver Started.\n");

    //Configure HUB digital filters
    _hubset(0x40000000 + (Filter1_Length0 << 5) + Filter1_Tap0);
    _hubset(0x40000080 + (Filter1_Length1 << 5) + Filter1_Tap1);
    _hubset(0x40000100 + (Filter1_Length2 << 5) + Filter1_Tap2);
    _hubset(0x40000180 + (Filter1_Length3 << 5) + Filter1_Tap3);

    //Configure Digital I/O pin SmartPin1 in non-Smart Pin mode
    _pinstart(SmartPin1,P_TRUE_A|P_LOCAL_A|P_FILT1_AB|P_TRUE_IN|P_TRUE_OUTPUT|P_HIGH_FAST|P_LOW_FAST|P_ASYNC_IO|P_NORMAL, 0, 0);
    //set starting output mode
    _pinf(SmartPin1);
    printf("SmartPin1 Started.\n");
}

void loop()
{//LOOP

    //Randomly change Neopixel color
    for (int i = 0; i < NEOPIXELS; i++)
        pixbuf1[i] = _rnd();

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

