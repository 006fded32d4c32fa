//Kivo Generated C main file


#include "Platform.h" 

//Pellam's one cog USB Keyboard/Mouse driver for UsbKbM1
struct __using("1CogKbM_kqv3b.spin2") UsbKbM1; //KQV:  Visual Studio will show an error here, but it's OK
KbMouseInfo UsbKbM1_KbMouseInfo = { 0,0,0,0 };
int nLoop;

void setup()
{//SETUP
    //Do Setup 


    //Configure range and position for USB Keyboard and Mouse object UsbKbM1 and then start.
    UsbKbM1_KbMouseInfo.MaxX = 640 - 1;
    UsbKbM1_KbMouseInfo.MaxY = 480 - 1;
    UsbKbM1_KbMouseInfo.x = 100;
    UsbKbM1_KbMouseInfo.y = 100;
    UsbKbM1.Start(UsbKbM1_BASE_PIN, UsbKbM1_ENABLE_PIN, UsbKbM1_DM_PIN, UsbKbM1_ERR_LED_PIN, &UsbKbM1_KbMouseInfo);  //(base_pin, dm_pin, err_led_pin, pMouseData) : cog
}

void loop()
{//LOOP

    //Show UsbKbM1 keyboard input
    char c = UsbKbM1.rawKey();
    if (c != NULL)
        printf("Keyboard input : ");
    else
        printf("No keyboard input.");
    while (c != NULL)
    {
        printf(" %c", c);
        c = UsbKbM1.rawKey();
    }

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

