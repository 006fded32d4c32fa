// Every entry point of zd_servo.spin2, called the way generated code calls them.
#include <propeller2.h>
#include <stdio.h>

struct __using("zd_servo.spin2") Servo1;
struct __using("zd_servo.spin2") Servo2;

void main(void)
{
    int ok = Servo1.start(38, 90);
    ok &= Servo2.startx(39, 1500);
    Servo1.Write(0, 45);
    Servo2.write(1, 2000);
    printf("%d %d %d\n", ok, Servo1.Read(0), Servo2.read(1));
    Servo1.stop();
    Servo2.stop();
}
