//Kivo Generated C main file


#include "Platform.h" 

//OBEX Servo code by Brannok for Servo1
struct __using("zd_servo.spin2") Servo1; //KQV:  Visual Studio will show an error here, but it's OK
//Note:  Range for position is limted by driver to 600..2400 for us mode and 0..180 for degree mode
int Servo1_position=90;
int nLoop;

void setup()
{//SETUP
    //Do Setup 

    //Set custom Baud for stdio
    _setbaud(_BAUD);

    //Mount the Plan9 file system for access to host's files
    //Files on the host PC may be accessed via names like "/host/foo.txt"
    mount("/host", _vfs_open_host());

    //files on the SD card may be accessed by names like "/sd/root.txt"
    mount("/sd", _vfs_open_sdcardx(61, 60, 59, 58));


    //Start Servo1 driver in either degree or us mode
    Servo1.start(Servo1_PIN, Servo1_position);  //position in degrees
    printf("Servo Started.\n");
}

void loop()
{//LOOP

    //randomly move servo position
    Servo1_position += (_rnd() % 11) - 5;  //move randomly between -5 and +5 units
    Servo1.Write(Servo1_MODE, Servo1_position);  //use this to set new position
    Servo1_position = Servo1.Read(Servo1_MODE); //get new actual (limited) position
    printf("Servo Position = % d\n", Servo1_position);

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

