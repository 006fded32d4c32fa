//Kivo Generated C main file


#include "Platform.h" 

//Neopixel driver from OBEX with minor modifications for Neopixel1
struct __using("zd_rgbx_pixel_kqv.spin2") neopixel;  //KQV:  Visual Studio will show an error here, but it's OK
uint32_t pixbuf1[NEOPIXELS];
int nLoop;

void setup()
{//SETUP
    //Do Setup 


    for (int i = 0; i < NEOPIXELS; i++)
        pixbuf1[i] = NEOPIXEL_COLOR;
    neopixel.start_2812b(pixbuf1, NEOPIXELS, NEOPIXEL_PIN, NEOPIXEL_HOLDOFF);            // start pixel driver
    printf("Neopixel Driver Started.\n");
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

