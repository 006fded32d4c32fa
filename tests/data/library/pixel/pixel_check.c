// Every entry point of zd_rgbx_pixel_kqv.spin2.
#include <propeller2.h>
#include <stdio.h>

struct __using("zd_rgbx_pixel_kqv.spin2") neopixel;
uint32_t pixbuf1[8];

void main(void)
{
    int cog;
    for (int i = 0; i < 8; i++)
        pixbuf1[i] = neopixel.colorx(255, 50, 25, 0, 1);
    cog = neopixel.start_2812b(pixbuf1, 8, 53, 5);
    neopixel.stop();
    cog |= neopixel.start_2811(pixbuf1, 8, 53, 1);
    neopixel.stop();
    cog |= neopixel.start_2812(pixbuf1, 8, 53, 50);
    neopixel.stop();
    cog |= neopixel.start_2813(pixbuf1, 8, 53, 5);
    neopixel.stop();
    cog |= neopixel.start_6812x(pixbuf1, 8, 53, 5, 32);
    printf("%d %d\n", cog, neopixel.gamma(128));
}
