// adc.h - smart-pin ADC readings, plain or SINC2/SINC3 filtered, calibrated
//
// What it does: runs a pin's sigma-delta ADC in the P2's ADC smart-pin mode
// and turns its readings into volts. Before a pin is used it is calibrated:
// the same mode and period are run with the ADC input tied to GND and then
// to VIO, and both readings are kept in a table per pin. A reading r then
// gives volts = ADC_VIO_VOLTS * (r - gnd) / (vio - gnd).
//
// Interface (pin 0..63; wrpin and wxpin are smart-pin mode and X values):
//   ADC_Start(pin, wrpin, wxpin)      SINC2 sampling mode, for example wrpin
//                                     P_ADC_1X|P_ADC and wxpin n: a complete
//                                     sample every 2^n clocks (n 0..13)
//   ADC_StartSinc2(pin, period)       SINC2 filtering, 1x gain, this pin
//   ADC_StartSinc3(pin, period)       SINC3 filtering, 1x gain, this pin
//                                     (period in clocks, a power of two:
//                                     SINC2 16..8192, SINC3 16..512)
//   ADC_Stop(pin)                     back to a plain, floating pin
//   ADC_raw(pin) / ADC_result(pin)    sampling mode: the pin's latest sample,
//                                     raw or in volts (float)
//   ADC_rawSinc2(pin, mode, period) / ADC_resultSinc2(pin, mode, period)
//   ADC_rawSinc3(pin, mode, period) / ADC_resultSinc3(pin, mode, period)
//                                     one filtered sample taken with WRPIN
//                                     value mode and the period, raw (shifted
//                                     to n+1 bits for SINC2, 2n bits for
//                                     SINC3) or in volts; the pin is set up
//                                     and calibrated again whenever mode or
//                                     period differ from what it runs
//
// Limits: the calibration measures this pin's own ADC, so it is right for
// 1x gain on this pin's input (P_LOCAL_A); with another gain the volts are
// only relative. When the ADC counts another pin's bitstream (P_PLUS1_A ..
// P_MINUS1_A, P_OUTBIT_A) the GIO/VIO calibration switches only this pin's
// input and cannot see that signal, so a nominal scale is used instead: GIO
// at ADC_NOMINAL_GIO and VIO at ADC_NOMINAL_VIO percent of the full count
// (10 and 90 unless defined before this header: an assumption, as the
// documentation gives no figures; measure your board and define them). The
// other pin must run its ADC (an ADC mode, or DAC mode with OUT high).
// A SINC2/SINC3 reading takes its two or three samples in one tight loop
// (so no period is missed even at 16 clocks), waiting for one
// to three ADC periods (at most 512 clocks for SINC3, 8192 for SINC2) and
// giving up after a few more, returning what the pin holds. The volts are
// worked out in integer arithmetic under 16.16 fixed point (flexspin
// --fixed), whose products and quotients of these sizes would overflow or
// lose precision. ADC_VIO_VOLTS can be defined before this header to match
// the board's supply.
#ifndef KIVO_ADC_H
#define KIVO_ADC_H

#include "Platform.h"
#include <propeller2.h>

#ifndef ADC_VIO_VOLTS
#define ADC_VIO_VOLTS 3.3f
#endif

#ifndef ADC_NOMINAL_GIO
#define ADC_NOMINAL_GIO 10           // percent of the full count
#endif
#ifndef ADC_NOMINAL_VIO
#define ADC_NOMINAL_VIO 90
#endif

#define ADC_INPUT_FIELD 0x001F8000   // WRPIN M[12:7]: the ADC input and gain
#define ADC_A_SELECT 0x70000000      // WRPIN A input: 0 = this pin
#define ADC_KIND_SAMPLE 0
#define ADC_KIND_SINC2 1
#define ADC_KIND_SINC3 2

// Per pin: the setup in force and the calibration that belongs to it.
static int adc_kind[64];
static int adc_mode[64];
static int adc_period[64];
static int adc_gnd[64];
static int adc_vio[64];

static int adc_log2(int period)
{
    int n = 0;
    while (n < 15 && (2 << n) <= period)
        n++;
    return n;
}

static void adc_run(int pin, int kind, int mode, int period)
{
    int n = adc_log2(period);
    int x = n;
    if (kind == ADC_KIND_SINC2)
        x |= 0x10;
    else if (kind == ADC_KIND_SINC3)
        x |= 0x20;
    _pinstart(pin, mode, x, kind == ADC_KIND_SAMPLE ? 0 : period);
}

// The next period's value: waits for the pin's IN flag and reads Z (which
// clears the flag), or returns Z as it is after a few periods without one.
static int adc_next(int pin, int period)
{
    unsigned start = _cnt();
    unsigned limit = 4 * (unsigned)period + 2000;
    while (!_pinr(pin) && _cnt() - start < limit)
        ;
    return _rdpin(pin);
}

// Two or three consecutive periods' values, each read as soon as the pin's
// IN flag rises: a tight loop in cog RAM keeps up with 16-clock periods. A
// NOP follows each RDPIN because IN drops two clocks after the acknowledge.
// Each wait gives up after `limit` turns (6 clocks each).
static int adc_r0, adc_r1, adc_r2;

static void adc_burst(int pin, int three, int limit)
{
    int r0 = 0, r1 = 0, r2 = 0, left = 0;
    __asm volatile {
        mov     left, limit
wait0
        testp   pin wc
  if_nc djnz    left, #wait0
        rdpin   r0, pin
        nop
        mov     left, limit
wait1
        testp   pin wc
  if_nc djnz    left, #wait1
        rdpin   r1, pin
        nop
        cmp     three, #0 wz
  if_z  jmp     #burst_done
        mov     left, limit
wait2
        testp   pin wc
  if_nc djnz    left, #wait2
        rdpin   r2, pin
burst_done
    }
    adc_r0 = r0;
    adc_r1 = r1;
    adc_r2 = r2;
}

static int adc_sample(int pin, int kind, int period)
{
    int n = adc_log2(period);
    int a, b, c;
    if (kind == ADC_KIND_SAMPLE)
        return adc_next(pin, period);
    adc_burst(pin, kind == ADC_KIND_SINC3, (4 * period + 2000) / 6);
    a = adc_r0;
    b = adc_r1;
    c = adc_r2;
    if (kind == ADC_KIND_SINC2)
        return ((b - a) & 0x07FFFFFF) >> (n > 0 ? n - 1 : 0);
    return (((c - b) - (b - a)) & 0x07FFFFFF) >> n;
}

static int adc_average(int pin, int kind, int period)
{
    int sum = 0;
    adc_next(pin, period); // the first periods after a start are not valid
    adc_next(pin, period);
    adc_next(pin, period);
    for (int i = 0; i < 8; i++)
        sum += adc_sample(pin, kind, period);
    return sum / 8;
}

// The full count of a reading with a period of 2^n clocks: n + 1 bits for
// SINC2 sampling and filtering, 2n bits for SINC3.
static int adc_full_count(int kind, int period)
{
    int n = adc_log2(period);
    if (kind == ADC_KIND_SINC3)
        return 1 << (2 * n);
    return 2 << n;
}

// Calibrates pin for this kind, mode and period, then leaves it running.
static void adc_setup(int pin, int kind, int mode, int period)
{
    pin &= 63;
    if (mode & ADC_A_SELECT) {
        // Another pin's bitstream: calibration cannot reach it.
        int full = adc_full_count(kind, period);
        adc_gnd[pin] = full / 100 * ADC_NOMINAL_GIO + full % 100 * ADC_NOMINAL_GIO / 100;
        adc_vio[pin] = full / 100 * ADC_NOMINAL_VIO + full % 100 * ADC_NOMINAL_VIO / 100;
    } else {
        adc_run(pin, kind, (mode & ~ADC_INPUT_FIELD) | P_ADC_GIO, period);
        adc_gnd[pin] = adc_average(pin, kind, period);
        adc_run(pin, kind, (mode & ~ADC_INPUT_FIELD) | P_ADC_VIO, period);
        adc_vio[pin] = adc_average(pin, kind, period);
    }
    adc_run(pin, kind, mode, period);
    adc_kind[pin] = kind;
    adc_mode[pin] = mode;
    adc_period[pin] = period;
    adc_average(pin, kind, period);
}

// 16.16 fixed point (flexspin --fixed) holds 1.0 as 0x10000.
static int adc_fixed_point(void)
{
    union {
        float f;
        int i;
    } one;
    one.f = 1.0f;
    return one.i == 0x10000;
}

static float adc_volts(int pin, int raw)
{
    int gnd = adc_gnd[pin & 63];
    int span = adc_vio[pin & 63] - gnd;
    union {
        float f;
        int i;
    } vio, volts;
    if (span == 0)
        return 0.0f;
    if (adc_fixed_point()) {
        vio.f = ADC_VIO_VOLTS;
        volts.i = (int)(((long long)(raw - gnd) * vio.i) / span);
        return volts.f;
    }
    return ADC_VIO_VOLTS * ((float)(raw - gnd) / (float)span);
}

static int adc_filtered(int pin, int kind, int mode, int period)
{
    pin &= 63;
    if (adc_kind[pin] != kind || adc_mode[pin] != mode || adc_period[pin] != period)
        adc_setup(pin, kind, mode, period);
    return adc_sample(pin, kind, period);
}

void ADC_Start(int pin, int wrpin, int wxpin)
{
    adc_setup(pin, ADC_KIND_SAMPLE, wrpin, 1 << (wxpin & 15));
}

void ADC_StartSinc2(int pin, int period)
{
    adc_setup(pin, ADC_KIND_SINC2, P_ADC_1X | P_ADC, period);
}

void ADC_StartSinc3(int pin, int period)
{
    adc_setup(pin, ADC_KIND_SINC3, P_ADC_1X | P_ADC, period);
}

void ADC_Stop(int pin)
{
    _pinclear(pin);
    adc_mode[pin & 63] = 0;
    adc_period[pin & 63] = 0;
}

int ADC_raw(int pin)
{
    return _rdpin(pin);
}

float ADC_result(int pin)
{
    return adc_volts(pin, ADC_raw(pin));
}

int ADC_rawSinc2(int pin, int mode, int period)
{
    return adc_filtered(pin, ADC_KIND_SINC2, mode, period);
}

int ADC_rawSinc3(int pin, int mode, int period)
{
    return adc_filtered(pin, ADC_KIND_SINC3, mode, period);
}

float ADC_resultSinc2(int pin, int mode, int period)
{
    return adc_volts(pin, ADC_rawSinc2(pin, mode, period));
}

float ADC_resultSinc3(int pin, int mode, int period)
{
    return adc_volts(pin, ADC_rawSinc3(pin, mode, period));
}

#endif // KIVO_ADC_H
