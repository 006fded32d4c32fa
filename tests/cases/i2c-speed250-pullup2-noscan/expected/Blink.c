//Kivo Generated C main file


#include "Platform.h" 

//I2C driver from OBEX with minor modifications for I2CScan1
typedef struct __using("zd_i2c_kqv2.spin2") zdi2c;
zdi2c I2CScan1; //KQV:  Visual Studio will show an error here, but it's OK
int nLoop;

void setup()
{//SETUP
    //Do Setup 


    I2CScan1.setup(I2CScan1SCLPIN, I2CScan1SDAPIN, I2CScan1SPEED, I2CScan1PULLUP); //setup(scl, sda, khz, pullup) 
    printf("I2C Driver started.\n");
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

