// rtc.h - DS1339 real-time clock on an I2C bus of zd_i2c_kqv2.spin2
//
// What it does: reads and sets a DS1339 (7-bit address 0x68) through an I2C
// bus instance that the program has already set up, and moves the chip's
// time into the P2's software clock, so gettimeofday(), time() and
// localtime() count on from it.
//
// Interface:
//   RTC                    date and time: year (2000..2199), month 1..12,
//                          mday 1..31, wday 1..7 (Sunday = 1), hour 0..23,
//                          min 0..59, sec 0..59
//   BindRtcToPort(bus)     address of the I2C bus instance to use from now on
//   GetRtcSetSystemTime()  reads the chip; if its time is valid, sets the
//                          software clock and prints the time, otherwise
//                          prints why the clock is not available. Returns 1
//                          when the software clock was set, else 0.
//   rtc_gettime(&t)        reads the chip into t: 1 valid, 0 the chip's
//                          oscillator stopped since the time was set (the
//                          time is lost), -1 no answer on the bus
//   rtc_settime(&t)        writes t into the chip (24-hour mode), keeps its
//                          oscillator running, clears the oscillator-stop
//                          flag and sets the software clock to t as well.
//                          Returns 1 when the chip took it.
//   rtc_read(reg, p, n), rtc_write(reg, p, n)   raw register access
//
// Limits: the chip keeps the day of the week as given, it does not work it
// out. Times are local time as localtime() shows them (no time zone is set).
// Read all seven time registers in one go (rtc_gettime does) so they are
// consistent.
#ifndef KIVO_RTC_H
#define KIVO_RTC_H

#include <stdio.h>
#include <stdint.h>
#include <sys/time.h>
#include <time.h>

// The bus type; the main file may declare the same driver under its own name.
typedef struct __using("zd_i2c_kqv2.spin2") rtc_i2c_t;

#define RTC_I2C_ADDRESS 0xD0    // 0x68 shifted: the write address
#define RTC_REG_TIME 0x00       // seconds .. year, 7 registers
#define RTC_REG_CONTROL 0x0E
#define RTC_REG_STATUS 0x0F
#define RTC_CONTROL_EOSC 0x80   // 1 = oscillator off
#define RTC_STATUS_OSF 0x80     // 1 = oscillator stopped at some time

typedef struct {
    int year;
    int month;
    int mday;
    int wday;
    int hour;
    int min;
    int sec;
} RTC;

static rtc_i2c_t *rtc_bus;

void BindRtcToPort(void *bus)
{
    rtc_bus = (rtc_i2c_t *)bus;
}

int rtc_read(int reg, uint8_t *p, int n)
{
    if (!rtc_bus)
        return 0;
    return rtc_bus->rd_regs(RTC_I2C_ADDRESS, reg, p, n) != 0;
}

int rtc_write(int reg, uint8_t *p, int n)
{
    if (!rtc_bus)
        return 0;
    return rtc_bus->wr_regs(RTC_I2C_ADDRESS, reg, p, n) != 0;
}

static int rtc_from_bcd(int v)
{
    return (v >> 4) * 10 + (v & 0x0F);
}

static int rtc_to_bcd(int v)
{
    return ((v / 10) << 4) | (v % 10);
}

int rtc_gettime(RTC *t)
{
    uint8_t r[7];
    uint8_t status;
    if (!rtc_read(RTC_REG_STATUS, &status, 1) || !rtc_read(RTC_REG_TIME, r, 7))
        return -1;
    if (status & RTC_STATUS_OSF)
        return 0;
    t->sec = rtc_from_bcd(r[0] & 0x7F);
    t->min = rtc_from_bcd(r[1] & 0x7F);
    if (r[2] & 0x40) {
        // 12-hour mode: bit 5 is PM, 12 AM is midnight
        t->hour = rtc_from_bcd(r[2] & 0x1F) % 12 + ((r[2] & 0x20) ? 12 : 0);
    } else {
        t->hour = rtc_from_bcd(r[2] & 0x3F);
    }
    t->wday = r[3] & 0x07;
    t->mday = rtc_from_bcd(r[4] & 0x3F);
    t->month = rtc_from_bcd(r[5] & 0x1F);
    t->year = 2000 + rtc_from_bcd(r[6]) + ((r[5] & 0x80) ? 100 : 0);
    if (t->month < 1 || t->month > 12 || t->mday < 1 || t->mday > 31 || t->hour > 23 || t->min > 59 || t->sec > 59)
        return 0;
    return 1;
}

static void rtc_set_system_clock(RTC *t)
{
    struct tm tm;
    struct timeval tv;
    tm.tm_year = t->year - 1900;
    tm.tm_mon = t->month - 1;
    tm.tm_mday = t->mday;
    tm.tm_hour = t->hour;
    tm.tm_min = t->min;
    tm.tm_sec = t->sec;
    tm.tm_wday = t->wday - 1;
    tm.tm_yday = 0;
    tm.tm_isdst = 0;
    tv.tv_sec = mktime(&tm);
    tv.tv_usec = 0;
    settimeofday(&tv, 0);
}

int GetRtcSetSystemTime(void)
{
    RTC t;
    int got = rtc_gettime(&t);
    if (got < 0) {
        printf("RTC not available: no answer from the DS1339 at I2C address 0x68.\n");
        return 0;
    }
    if (got == 0) {
        printf("RTC not available: its time was lost (oscillator stopped); set it first.\n");
        return 0;
    }
    rtc_set_system_clock(&t);
    printf("RTC time %04d-%02d-%02d %02d:%02d:%02d set as the system time.\n", t.year, t.month, t.mday, t.hour,
           t.min, t.sec);
    return 1;
}

int rtc_settime(RTC *t)
{
    uint8_t r[7];
    uint8_t reg;
    int year = t->year < 2000 ? 2000 : (t->year > 2199 ? 2199 : t->year);
    int ok;
    r[0] = rtc_to_bcd(t->sec % 60);
    r[1] = rtc_to_bcd(t->min % 60);
    r[2] = rtc_to_bcd(t->hour % 24);        // bit 6 clear: 24-hour mode
    r[3] = (t->wday >= 1 && t->wday <= 7) ? t->wday : 1;
    r[4] = rtc_to_bcd(t->mday);
    r[5] = rtc_to_bcd(t->month) | (year >= 2100 ? 0x80 : 0);
    r[6] = rtc_to_bcd(year % 100);
    ok = rtc_write(RTC_REG_TIME, r, 7);
    if (ok && rtc_read(RTC_REG_CONTROL, &reg, 1)) {
        reg &= ~RTC_CONTROL_EOSC;
        ok = rtc_write(RTC_REG_CONTROL, &reg, 1);
    }
    if (ok && rtc_read(RTC_REG_STATUS, &reg, 1)) {
        reg &= ~RTC_STATUS_OSF;             // the alarm flags are left as they are
        ok = rtc_write(RTC_REG_STATUS, &reg, 1);
    }
    rtc_set_system_clock(t);
    return ok;
}

#endif // KIVO_RTC_H
