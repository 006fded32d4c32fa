//Kivo Generated C main file


#include "Platform.h" 

//Simple Sound Driver by Dovrel for SimpleSound1
struct __using("SimpleSound.spin2") sound; //KQV:  Visual Studio will show an error here, but it's OK
int nLoop;

void setup()
{//SETUP
    //Do Setup 


    printf("Starting SimpleSound Music...\n");
    sound.start(AV_LeftPin, AV_RightPin);
    sound.Play();
}

void loop()
{//LOOP

    //randomly play a sound effect
    sound.playSound(_rnd() % 4 + 1);  //play 1 of 4 sounds

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
        for (int i = 0; i < 100; i++)
        {//inter-loop delay of 1 second
            _waitms(10);
            //Need to call pollTick at least 50 times per second
            sound.pollTick();
        }
    }
}

