// Every entry point of VGA_SimpleDriver1a.spin2.
#include <propeller2.h>
#include <stdio.h>

struct __using("VGA_SimpleDriver1a.spin2") vga;

void main(void)
{
    int cog = vga.start(48);
    uint8_t *bmp = (uint8_t *)vga.image();
    printf("%d %c%c\n", cog, bmp[0], bmp[1]);
    vga.stop();
}
