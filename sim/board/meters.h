#pragma once
// The simple instruments: frequency counter, logic probe, voltmeter,
// adjustable voltage source, pulse meter and the readout of the hub's
// digital filter settings.
#include "board/instrument.h"

#include <optional>
#include <vector>

namespace kivo::sim {

// Counts rising edges on one pin: frequency over the whole measurement
// (first to last rising edge) and the duty cycle of the full periods. An
// NCO's output it takes as a train and counts from the NCO's arithmetic,
// with the same result as edge by edge.
class FrequencyCounter : public Instrument
{
public:
    explicit FrequencyCounter(int pin) : m_pin(pin) {}
    std::vector<int> pins() const override { return {m_pin}; }
    void connect(Pins &pins) override;
    void pinChanged(int pin, Clock at) override;
    bool takesTrains() const override { return true; }
    void pinTrain(int pin, const PinTrain *train, Clock at) override;
    std::string what() const override { return "frequency counter"; }
    Json observations() const override;

    double frequency() const; // Hz, 0 before two rising edges
    double duty() const;      // 0..1 of the full periods
    // One clock of the first-to-last span, as a frequency step.
    double resolution() const;
    std::uint64_t rises() const { return settled().rises; }

private:
    struct Tally {
        bool level = false;
        std::uint64_t rises = 0;
        Clock firstRise = 0, lastRise = 0;
        Clock high = 0; // high clocks of the completed periods
        Clock pendingHigh = 0;
        void edge(bool level, Clock at);
        // The train's edges after `from` up to `to`.
        void train(const PinTrain &t, Clock from, Clock to);
    };
    // The tally with the train's edges up to the pins' present clock.
    Tally settled() const;

    int m_pin;
    Tally m_tally;
    std::optional<PinTrain> m_train;
    Clock m_trainFrom = 0;
};

// A pin's level and its transitions; optionally drives the pin's input
// through 1 kOhm (a switch with a resistor), which the chip's own drive beats.
class LogicProbe : public Instrument
{
public:
    LogicProbe(int pin, std::optional<bool> input = std::nullopt) : m_pin(pin), m_input(input) {}
    std::vector<int> pins() const override { return {m_pin}; }
    void connect(Pins &pins) override;
    void pinChanged(int pin, Clock at) override;
    std::string what() const override { return "logic probe"; }
    Json observations() const override;
    void setInput(std::optional<bool> input, Clock at);

    bool level() const { return m_level; }
    std::uint64_t transitions() const { return m_rises + m_falls; }

private:
    int m_pin;
    std::optional<bool> m_input;
    bool m_level = false;
    bool m_started = false;
    std::uint64_t m_rises = 0, m_falls = 0;
    Clock m_first = 0, m_last = 0;
};

// Volts on a pin while the chip drives it: first, last, lowest, highest.
class Voltmeter : public Instrument
{
public:
    explicit Voltmeter(int pin) : m_pin(pin) {}
    std::vector<int> pins() const override { return {m_pin}; }
    void pinChanged(int pin, Clock at) override;
    void finish(Clock at) override { pinChanged(m_pin, at); }
    std::string what() const override { return "voltmeter"; }
    Json observations() const override;

    bool measured() const { return m_count > 0; }
    double first() const { return m_first; }
    double last() const { return m_last; }
    double lowest() const { return m_low; }
    double highest() const { return m_high; }

private:
    int m_pin;
    std::uint64_t m_count = 0; // readings that differed from the one before
    double m_first = 0, m_last = 0, m_low = 0, m_high = 0;
};

// An adjustable voltage source wired to a pin (an ADC's input).
class VoltageSource : public Instrument
{
public:
    VoltageSource(int pin, double volts) : m_pin(pin), m_volts(volts) {}
    std::vector<int> pins() const override { return {}; } // it only drives
    void connect(Pins &pins) override;
    std::string what() const override { return "voltage source"; }
    Json observations() const override;
    int pin() const { return m_pin; }
    double volts() const { return m_volts; }
    // The source turned to `volts` from `at` on.
    void setVolts(double volts, Clock at);

private:
    int m_pin;
    double m_volts;
};

// High pulses on a pin: width in microseconds, period in milliseconds, and
// the distinct widths in the order they came (a servo's moves).
class PulseMeter : public Instrument
{
public:
    explicit PulseMeter(int pin) : m_pin(pin) {}
    std::vector<int> pins() const override { return {m_pin}; }
    void pinChanged(int pin, Clock at) override;
    std::string what() const override { return "pulse meter"; }
    Json observations() const override;

    std::uint64_t pulses() const { return m_pulses; }
    double firstWidthUs() const { return m_firstWidth; }
    double lastWidthUs() const { return m_lastWidth; }
    double minWidthUs() const { return m_minWidth; }
    double maxWidthUs() const { return m_maxWidth; }
    double lastPeriodMs() const { return m_lastPeriod; }
    const std::vector<double> &widths() const { return m_widths; }

private:
    int m_pin;
    bool m_level = false;
    bool m_seenRise = false;
    Clock m_rise = 0;
    std::uint64_t m_pulses = 0, m_periods = 0;
    double m_firstWidth = 0, m_lastWidth = 0, m_minWidth = 0, m_maxWidth = 0;
    double m_lastPeriod = 0, m_minPeriod = 0, m_maxPeriod = 0;
    std::vector<double> m_widths; // distinct consecutive widths, capped
};

// The hub's four digital filters as the program set them (no pins).
class FilterReadout : public Instrument
{
public:
    std::vector<int> pins() const override { return {}; }
    std::string what() const override { return "filter settings"; }
    Json observations() const override;
};

} // namespace kivo::sim
