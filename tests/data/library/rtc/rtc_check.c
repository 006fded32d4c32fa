// Every entry point of rtc.h, with the bus type declared a second time under
// the generated name, and the generated loop's time display.
#include "Platform.h"

typedef struct __using("zd_i2c_kqv2.spin2") zdi2c;
zdi2c I2CScan1;

void main(void)
{
    I2CScan1.setup(56, 57, 100, 0);
    BindRtcToPort(&I2CScan1);
    GetRtcSetSystemTime();

    RTC now;
    now.year = 2026;
    now.month = 12;
    now.mday = 9;
    now.wday = 4;
    now.hour = 13;
    now.min = 45;
    now.sec = 30;
    rtc_settime(&now);
    uint8_t b;
    rtc_read(0x0F, &b, 1);
    rtc_write(0x0F, &b, 1);
    rtc_gettime(&now);

    char dispbuf[40];
    struct timeval tv;
    gettimeofday(&tv, 0);
    strftime(dispbuf, sizeof(dispbuf), "%a %b %d %H:%M:%S %Y", localtime(&tv.tv_sec));
    printf(" %s\n", dispbuf);
}
