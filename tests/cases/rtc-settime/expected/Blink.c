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

    BindRtcToPort(&I2CScan1);  //Select I2C Bus for RTC
    GetRtcSetSystemTime(); //Get time from RTC and apply to system

    RTC now;
    now.year = 2026;
    now.month = 12;
    now.mday = 9;
    now.wday = 4;
    now.hour = 13;
    now.min = 45;
    now.sec = 30;
    rtc_settime(&now);
}

void loop()
{//LOOP

    //Scan the I2C Bus I2CScan1
    ScanI2CBus(&I2CScan1);


    // get current time
    char dispbuf[40];
    struct timeval tv;
    gettimeofday(&tv, 0);
    // get an ASCII version of the time
    // uses the standard C library strftime function to format the time
    strftime(dispbuf, sizeof(dispbuf), "%a %b %d %H:%M:%S %Y", localtime(&tv.tv_sec));
    // print it
    printf(" %s\n", dispbuf);

    //End Loop 
    printf("Loop #%d\n",nLoop++); 
}


void ScanI2CBus(void* p)
{//I2C Bus Scanner
	zdi2c* pi2c = p;
	//I2C Scanner (adapted from P2 OBEX file zd_i2c_scanner.spin2 )
	int count = 0;
	int sda=pi2c->GetSdaPin();
	int scl=pi2c->GetSclPin();
	printf("I2C Bus Scan SDA=%d, SCL=%d:\n", sda, scl);
	printf("--dddd_aaa_0(8 - bit) format\n\n");
	printf("   00 02 04 06 08 0A 0C 0E\n");
	for (int type = 0b0001; type <= 0b1110; type++)  // %0000 and %1111 not valid 
	{
	   printf("%2X ", type << 4);
	   for (int addr = 0b000; addr <= 0b111; addr++)  // %0000 and %1111 not valid 
	   {
	      int devid = (type << 4) | (addr << 1);
	      if (pi2c->present(devid))
	      {
	         printf("%2X ", devid);
	         count++;	      }	      else	      {
	         printf(".. ");
	      }	      _waitms(1);	   }
	   printf("\n");
	}
	printf("Devices = % d\n\n", count);

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

