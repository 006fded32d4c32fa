//Kivo Generated C main file


#include "Platform.h" 

//Simple VGA Driver 640x480x8bpp that shows embedded image for SimpleVGA1
struct __using("VGA_SimpleDriver1a.spin2") vga; //KQV:  Visual Studio will show an error here, but it's OK
int nLoop;

void setup()
{//SETUP
    //Do Setup 


    vga.start(VGA_BASEPIN);
    printf("VGA Driver started.\n");
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

