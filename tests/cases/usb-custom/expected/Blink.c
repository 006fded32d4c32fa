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
    UsbKbM1_KbMouseInfo.MaxX = 800 - 1;
    UsbKbM1_KbMouseInfo.MaxY = 600 - 1;
    UsbKbM1_KbMouseInfo.x = 0;
    UsbKbM1_KbMouseInfo.y = -1;
    UsbKbM1.Start(UsbKbM1_BASE_PIN, UsbKbM1_ENABLE_PIN, UsbKbM1_DM_PIN, UsbKbM1_ERR_LED_PIN, &UsbKbM1_KbMouseInfo);  //(base_pin, dm_pin, err_led_pin, pMouseData) : cog
}

void loop()
{//LOOP

    //Show UsbKbM1 mouse position
    printf("USB mouse UsbKbM1 position = (%d, %d)\n", UsbKbM1_KbMouseInfo.x, UsbKbM1_KbMouseInfo.y);

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

