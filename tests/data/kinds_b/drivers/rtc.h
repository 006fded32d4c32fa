// Test fixture: only the entry points the generated code calls.
#ifndef RTC_FIXTURE_H
#define RTC_FIXTURE_H
#include <sys/time.h>
#include <time.h>

typedef struct __using("zd_i2c_kqv2.spin2") zdi2c;

typedef struct {
    int year, month, mday, wday, hour, min, sec;
} RTC;

static zdi2c *rtc_bus;

void BindRtcToPort(zdi2c *bus) { rtc_bus = bus; }
void GetRtcSetSystemTime(void) {}
void rtc_settime(RTC *t) { (void)t; }
#endif
