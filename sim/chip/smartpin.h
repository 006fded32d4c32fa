#pragma once
// Inside the pins: one pin's state as a smart-pin mode sees it, and the
// interface every mode implements. Modes are event-driven: they keep their own
// time, schedule the next clock at which they must act (SmartPin::schedule) and
// are woken then (run), or when a pin they watch changes level (inputChanged).
#include "chip/device.h"
#include "chip/time.h"

#include <cstdint>
#include <memory>

namespace kivo::sim {

class PinEngine;
class SmartMode;

// Fields of the WRPIN mode word.
namespace pinmode {
inline constexpr std::uint32_t smart(std::uint32_t m) { return m >> 1 & 31; }
inline constexpr std::uint32_t tt(std::uint32_t m) { return m >> 6 & 3; }
inline constexpr std::uint32_t low(std::uint32_t m) { return m >> 8 & 0x1FFF; } // M[12:0]
inline constexpr bool dacMode(std::uint32_t m) { return (low(m) >> 10) == 5; }
inline constexpr bool adcMode(std::uint32_t m) { return (low(m) >> 10) == 4; }
inline constexpr std::uint32_t filt(std::uint32_t m) { return m >> 21 & 7; }
inline constexpr std::uint32_t aSel(std::uint32_t m) { return m >> 28 & 15; }
inline constexpr std::uint32_t bSel(std::uint32_t m) { return m >> 24 & 15; }
} // namespace pinmode

// Bit period of the serial modes in 1/64 clocks: X[31:16] whole clocks, with
// X[15:10] a fraction when X[31:26] is zero.
inline std::uint64_t serialPeriod64(std::uint32_t x)
{
    std::uint64_t p = (x >> 26) == 0 ? std::uint64_t(x >> 10) : std::uint64_t(x >> 16) << 6;
    return p == 0 ? 64 : p;
}

struct SmartPin {
    int index = 0;
    std::uint32_t mode = 0, x = 0, y = 0, z = 0;
    bool in = false;       // the IN flag the mode raises
    bool running = false;  // smart mode set and DIR high
    bool out = false;      // the mode's output (where the mode drives OUT)
    bool floating = false; // the mode floats its output (see setFloating)
    double resOhms = 0;    // a mode's own resistor, to VIO if resUp else GIO
    bool resUp = false;
    double dac = -1;     // the DAC level (0..255, fractional for dithers) the mode sets, <0 none
    Clock next = kNever; // the mode's next self-timed action
    std::unique_ptr<SmartMode> impl;
    PinEngine *engine = nullptr;

    // For the modes.
    void raiseIn(Clock at);
    void clearIn(Clock at);
    void setOut(bool level, Clock at);
    void setDac(double level, Clock at);
    // A mode that drives the pin may float it for a while (USB idle) even with
    // TT's output enable on, and may add a resistor of its own to GIO (down)
    // or VIO (up), as the USB resistors in the pin are; ohms <= 0 removes it.
    void setFloating(bool floating, Clock at);
    void setResistor(bool up, double ohms, Clock at);
    void redrive(Clock at);  // the drive (strength, floating) changed without a level change
    void schedule(Clock at); // the next run(); kNever for none
    bool inputA() const;     // after the selectors, logic and filter
    bool inputB() const;
    bool level(int pin) const;   // the logic level of any pin's wire
    double volts(int pin) const; // the voltage on any pin's wire
    bool observed() const;       // a device or another pin's input reads this pin's level
    bool cogOut() const;         // this pin's OUT from the cogs
    bool cogDir() const;
    SmartPin &pin(int n) const; // another pin (n & 63), for paired modes
    // The ones density (0..1) of the A input's bitstream: an ADC-mode pin's
    // delta-sigma output, else its logic level as 0 or 1.
    double densityA() const;
    double density(int pin) const; // the same for any pin's read state
    bool analogA() const;          // the A input comes from a pin in ADC mode
    std::uint32_t random();        // a fresh pseudo-random long for noise and dither
};

class SmartMode
{
public:
    virtual ~SmartMode() = default;
    // Released from reset at `at`: DIR rose, or the mode was written with DIR high.
    virtual void start(SmartPin &p, Clock at) = 0;
    // Held in reset from `at` (DIR fell); also when the mode is installed with DIR low.
    virtual void reset(SmartPin &p, Clock at) { (void)p, (void)at; }
    // X or Y was written (p.x / p.y already hold the value); also during reset.
    virtual void wxpin(SmartPin &p, Clock at) { (void)p, (void)at; }
    virtual void wypin(SmartPin &p, Clock at) { (void)p, (void)at; }
    // Bring Z up to date before RDPIN/RQPIN reads it at `at`; also called when
    // who observes the pin changes, so that a mode can schedule again.
    virtual void sync(SmartPin &p, Clock at) { (void)p, (void)at; }
    // The pin was acknowledged at `at` (WRPIN/WXPIN/WYPIN/RDPIN/AKPIN; IN is
    // already low): modes that only wake to raise IN schedule again here.
    virtual void acknowledged(SmartPin &p, Clock at) { (void)p, (void)at; }
    // The C flag RDPIN/RQPIN return.
    virtual bool flag(const SmartPin &p) const { return p.z >> 31; }
    // p.next came due.
    virtual void run(SmartPin &p, Clock at) { (void)p, (void)at; }
    // A watched pin (see watches) changed level at `at`.
    virtual void inputChanged(SmartPin &p, Clock at) { (void)p, (void)at; }
    // Which pins' levels this mode reacts to (a mask); by default those its A
    // and B inputs select, when usesInputs() says it uses them.
    virtual bool usesInputs() const { return false; }
    virtual std::uint64_t watches(const SmartPin &p) const;
    // The mode drives the pin's output level (OUT is overridden).
    virtual bool drivesOutput() const { return false; }
    // The drive strength code (0..7, as M[5:3]/M[2:0]: fast, 1.5k, 15k,
    // 150k, 1 mA, 100 µA, 10 µA, float) the mode drives `level` with; -1
    // for the mode word's own. Call SmartPin::redrive when it changes.
    virtual int driveStrength(const SmartPin &p, bool level) const
    {
        (void)p, (void)level;
        return -1;
    }
    // A mode whose output is a known periodic signal for as long as its
    // set-up stays (see PinTrain) describes it, as of its last catch-up.
    virtual bool train(const SmartPin &p, PinTrain &t) const
    {
        (void)p, (void)t;
        return false;
    }
    // Modes that stream a voltage read their pin's analog level.
    virtual bool readsAnalog() const { return false; }
    // The pin's analog level changed at `at` (ADC modes).
    virtual void analogChanged(SmartPin &p, Clock at) { (void)p, (void)at; }
};

// A first-order delta-sigma bitstream of a piecewise-constant density and its
// running sums (ones, sum of ones, sum of that), each kept modulo 2^27 as the
// smart pin's accumulators are. Sums are exact in their rate and within a
// count of the chip's in their quantisation.
class DeltaSigma
{
public:
    static constexpr double kWrap = 134217728.0; // 2^27
    void restart(Clock at, double density)
    {
        m_t = at;
        m_d = density;
        m_s1 = m_s2 = m_s3 = 0;
        m_ones = 0.5; // the integrator starts half full
    }
    // Integrates to `at` with the present density, then takes `density`.
    void change(Clock at, double density)
    {
        advance(at);
        m_d = density;
    }
    void advance(Clock at);
    Clock time() const { return m_t; }
    double density() const { return m_d; }
    std::uint32_t acc1() const; // 27-bit
    std::uint32_t acc2() const;
    std::uint32_t acc3() const;
    // Ones in the last `n` clocks before time() (n ≤ 32), newest in bit n-1.
    std::uint32_t lastBits(int n) const;
    double onesTotal() const { return m_ones; } // unwrapped ones count (+0.5)

private:
    Clock m_t = 0;
    double m_d = 0;
    double m_s1 = 0, m_s2 = 0, m_s3 = 0, m_ones = 0.5;
};

// An async transmit pin put a word on the wire (its start bit begins at `at`).
void smartPinTransmitted(SmartPin &p, std::uint32_t word, int bits, Clock at);

// The modes, by SSSSS code and whether the pin is in DAC_MODE.
std::unique_ptr<SmartMode> makeSmartMode(std::uint32_t sssss, std::uint32_t modeWord);

// The USB mode (%11011) lives in its own file; the pair's two pins each get
// one object from this factory.
std::unique_ptr<SmartMode> makeUsbSmartMode();

// Families, each in its own source file.
std::unique_ptr<SmartMode> makeSerialMode(std::uint32_t sssss);
std::unique_ptr<SmartMode> makeOutputMode(std::uint32_t sssss);                         // pulse, NCO, PWM
std::unique_ptr<SmartMode> makeCounterMode(std::uint32_t sssss);                        // quadrature, counting, timing
std::unique_ptr<SmartMode> makeAnalogMode(std::uint32_t sssss, std::uint32_t modeWord); // repository, DAC, ADC

} // namespace kivo::sim
