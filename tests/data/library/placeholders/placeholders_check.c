// The entry points that generated programs call on the drivers still to come.
#include <propeller2.h>
#include <stdio.h>

typedef struct
{
    int x;
    int y;
    int MaxX;
    int MaxY;
    int buttons;
    char scancodes[8];
} KbMouseInfo;

struct __using("SimpleSound.spin2") sound;
struct __using("1CogKbM_kqv3b.spin2") usb1;
struct __using("1CogKbM_kqv3b_NoErrorLed.spin2") usb2;
KbMouseInfo info = { 0,0,0,0 };

void main(void)
{
    sound.start(54, 55);
    sound.Play();
    sound.playSound(_rnd() % 4 + 1);
    sound.pollTick();
    usb1.Start(8, 9, 10, 56, &info);
    usb2.Start(12, 13, 14, 57, &info);
    int c = usb1.rawKey() + usb2.rawKey();
    printf("%d\n", c);
}
