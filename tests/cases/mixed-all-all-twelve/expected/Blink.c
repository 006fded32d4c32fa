//Kivo Generated C main file


#include "Platform.h" 

//Simple VGA Driver 640x480x8bpp that shows embedded image for SimpleVGA1
struct __using("VGA_SimpleDriver1a.spin2") vga; //KQV:  Visual Studio will show an error here, but it's OK
//I2C driver from OBEX with minor modifications for I2CScan1
typedef struct __using("zd_i2c_kqv2.spin2") zdi2c;
zdi2c I2CScan1; //KQV:  Visual Studio will show an error here, but it's OK
//Neopixel driver from OBEX with minor modifications for Neopixel1
struct __using("zd_rgbx_pixel_kqv.spin2") neopixel;  //KQV:  Visual Studio will show an error here, but it's OK
uint32_t pixbuf1[NEOPIXELS];
//Simple Sound Driver by Dovrel for SimpleSound1
struct __using("SimpleSound.spin2") sound; //KQV:  Visual Studio will show an error here, but it's OK
//OBEX Servo code by Brannok for Servo1
struct __using("zd_servo.spin2") Servo1; //KQV:  Visual Studio will show an error here, but it's OK
//Note:  Range for position is limted by driver to 600..2400 for us mode and 0..180 for degree mode
int Servo1_position=90;
//Pellam's one cog USB Keyboard/Mouse driver for UsbKbM1
struct __using("1CogKbM_kqv3b.spin2") UsbKbM1; //KQV:  Visual Studio will show an error here, but it's OK
KbMouseInfo UsbKbM1_KbMouseInfo = { 0,0,0,0 };
int nLoop;

void setup()
{//SETUP
    //Do Setup 


    vga.start(VGA_BASEPIN);
    printf("VGA Driver started.\n");

    I2CScan1.setup(I2CScan1SCLPIN, I2CScan1SDAPIN, I2CScan1SPEED, I2CScan1PULLUP); //setup(scl, sda, khz, pullup) 
    printf("I2C Driver started.\n");

    for (int i = 0; i < NEOPIXELS; i++)
        pixbuf1[i] = NEOPIXEL_COLOR;
    neopixel.start_2812b(pixbuf1, NEOPIXELS, NEOPIXEL_PIN, NEOPIXEL_HOLDOFF);            // start pixel driver
    printf("Neopixel Driver Started.\n");

    _pinstart(24, P_NCO_FREQ+P_OE, 0x00000001, 0x15555555); //configure smart pin for NCO Freq 
    printf("NCO Frequency Smart Pin started.\n");

    BindRtcToPort(&I2CScan1);  //Select I2C Bus for RTC
    GetRtcSetSystemTime(); //Get time from RTC and apply to system

    printf("Starting SimpleSound Music...\n");
    sound.start(AV_LeftPin, AV_RightPin);
    sound.Play();

    //Start Servo1 driver in either degree or us mode
    Servo1.start(Servo1_PIN, Servo1_position);  //position in degrees
    printf("Servo Started.\n");

    //Configure Digital I/O pin SmartPin1 in non-Smart Pin mode
    _pinstart(SmartPin1,P_TRUE_A|P_LOCAL_A|P_PASS_AB|P_TRUE_IN|P_TRUE_OUTPUT|P_HIGH_FAST|P_LOW_FAST|P_ASYNC_IO|P_NORMAL, 0, 0);
    //set starting output mode
    _pinf(SmartPin1);
    printf("SmartPin1 Started.\n");

    //Configure HUB digital filters
    _hubset(0x40000000 + (Filter1_Length0 << 5) + Filter1_Tap0);
    _hubset(0x40000080 + (Filter1_Length1 << 5) + Filter1_Tap1);
    _hubset(0x40000100 + (Filter1_Length2 << 5) + Filter1_Tap2);
    _hubset(0x40000180 + (Filter1_Length3 << 5) + Filter1_Tap3);

    //Configure 8-bit Analog DAC mode on I/O pin DAC1 in non-Smart pin mode
    SetDacModeAndLevel(DAC1_AnalogPin, P_DAC_990R_3V, DAC1_AnalogLevel);
    _pinh(DAC1_AnalogPin);
    printf("DAC: DAC1 Started.\n");

    //Configure ADC mode on I/O pin ADC1 in sampling mode
    ADC_Start(ADC1_AnalogPin, ADC1_WRPIN, ADC1_WXPIN);

    //Configure range and position for USB Keyboard and Mouse object UsbKbM1 and then start.
    UsbKbM1_KbMouseInfo.MaxX = 640 - 1;
    UsbKbM1_KbMouseInfo.MaxY = 480 - 1;
    UsbKbM1_KbMouseInfo.x = 100;
    UsbKbM1_KbMouseInfo.y = 100;
    UsbKbM1.Start(UsbKbM1_BASE_PIN, UsbKbM1_ENABLE_PIN, UsbKbM1_DM_PIN, UsbKbM1_ERR_LED_PIN, &UsbKbM1_KbMouseInfo);  //(base_pin, dm_pin, err_led_pin, pMouseData) : cog
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

    //randomly play a sound effect
    sound.playSound(_rnd() % 4 + 1);  //play 1 of 4 sounds

    //randomly move servo position
    Servo1_position += (_rnd() % 11) - 5;  //move randomly between -5 and +5 units
    Servo1.Write(Servo1_MODE, Servo1_position);  //use this to set new position
    Servo1_position = Servo1.Read(Servo1_MODE); //get new actual (limited) position
    printf("Servo Position = % d\n", Servo1_position);

    //toggle Digital I/O pin output
    _pinnot(SmartPin1);
    //show Digital I/O pin input
    printf("SmartPin1 IN = % d\n", _pinr(SmartPin1));

    //randomly change DAC DAC1 level
    int DAC1_NewLevel = _rnd() % 255;  //random 8-bit level
    SetDacModeAndLevel(DAC1_AnalogPin, P_DAC_990R_3V, DAC1_NewLevel);
    printf("DAC1 level = %d\n", DAC1_NewLevel);

    //Show ADC1 calibrated reading in SINC2 sampling mode
    printf("ADC ADC1 calibrated reading = %f\n", ADC_result(ADC1_AnalogPin));

    //Show UsbKbM1 mouse position
    printf("USB mouse UsbKbM1 position = (%d, %d)\n", UsbKbM1_KbMouseInfo.x, UsbKbM1_KbMouseInfo.y);

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


void SetDacModeAndLevel(int pin, int mode, uint8_t level)
{//set the non-Smart mode DAC level
	_pinstart(pin, mode + (level << 8), 0, 0);
}

void main()
{//MAIN
    setup();
    printf("Setup complete.\n");

    for (;;)
    {
        loop();
        for (int i = 0; i < 100; i++)
        {//inter-loop delay of 1 second
            _waitms(10);
            //Need to call pollTick at least 50 times per second
            sound.pollTick();
        }
    }
}

