#include "board/meters.h"

#include <algorithm>
#include <cmath>

namespace kivo::sim {

double Rounded(double v, int decimals)
{
    double f = std::pow(10.0, decimals);
    return std::round(v * f) / f;
}

// ---- frequency counter ----

void FrequencyCounter::connect(Pins &pins)
{
    Instrument::connect(pins);
    m_tally.level = pins.level(m_pin);
}

void FrequencyCounter::pinChanged(int, Clock at)
{
    if (!m_train) // a train's wire level is not worked out edge by edge
        m_tally.edge(m_pins->level(m_pin), at);
}

void FrequencyCounter::Tally::edge(bool now, Clock at)
{
    if (now == level)
        return;
    level = now;
    if (!now) {
        if (rises > 0)
            pendingHigh = at - lastRise;
        return;
    }
    if (rises == 0)
        firstRise = at;
    else
        high += pendingHigh;
    pendingHigh = 0;
    lastRise = at;
    rises++;
}

// What edge() would do for each of the train's edges, in a few steps: the
// edges alternate, so the rises and the high times between them are sums
// over every second edge.
void FrequencyCounter::Tally::train(const PinTrain &t, Clock from, Clock to)
{
    if (to <= from)
        return;
    const std::uint64_t first = t.half(from) + 1, last = t.half(to);
    if (last < first)
        return;
    std::uint64_t rise = t.rising(first) ? first : first + 1;
    if (rise > first) // a fall before the first rise
        edge(false, t.edge(first));
    if (rise > last)
        return;
    const std::uint64_t count = (last - rise) / 2 + 1, lastRiseN = rise + 2 * (count - 1);
    edge(true, t.edge(rise)); // the first: its start, or the high time before it
    if (count > 1) {
        // The high times of the periods that end at the later rises.
        high += Clock(t.edgeSum(rise + 1, count - 1) - t.edgeSum(rise, count - 1));
        rises += count - 1;
        lastRise = t.edge(lastRiseN);
    }
    if (lastRiseN < last)
        edge(false, t.edge(last));
}

void FrequencyCounter::pinTrain(int, const PinTrain *train, Clock at)
{
    if (m_train) {
        // Its edges before `at`, then the wire's level, exact again.
        m_tally.train(*m_train, m_trainFrom, at - 1);
        m_train.reset();
        m_tally.edge(m_pins->level(m_pin), at);
    }
    if (train) {
        m_train = *train;
        m_trainFrom = at;
    }
}

FrequencyCounter::Tally FrequencyCounter::settled() const
{
    Tally t = m_tally;
    if (m_train && m_pins)
        t.train(*m_train, m_trainFrom, m_pins->now());
    return t;
}

double FrequencyCounter::frequency() const
{
    const Tally t = settled();
    if (t.rises < 2)
        return 0.0;
    double s = span(t.firstRise, t.lastRise);
    return s > 0 ? double(t.rises - 1) / s : 0.0;
}

double FrequencyCounter::duty() const
{
    const Tally t = settled();
    if (t.rises < 2 || t.lastRise <= t.firstRise)
        return 0.0;
    return double(t.high) / double(t.lastRise - t.firstRise);
}

double FrequencyCounter::resolution() const
{
    const Tally t = settled();
    if (t.rises < 2 || t.lastRise <= t.firstRise)
        return 0.0;
    return frequency() / double(t.lastRise - t.firstRise);
}

Json FrequencyCounter::observations() const
{
    const Tally t = settled();
    Json o = Json::object();
    o["frequencyHz"] = Rounded(frequency(), 6);
    o["resolutionHz"] = resolution();
    o["duty"] = Rounded(duty(), 6);
    o["risingEdges"] = t.rises;
    if (t.rises > 0) {
        o["firstRiseS"] = Rounded(seconds(t.firstRise), 9);
        o["lastRiseS"] = Rounded(seconds(t.lastRise), 9);
    }
    return o;
}

// ---- logic probe ----

void LogicProbe::connect(Pins &pins)
{
    Instrument::connect(pins);
    m_level = pins.level(m_pin);
    if (m_input)
        setInput(m_input, pins.now());
}

void LogicProbe::setInput(std::optional<bool> input, Clock at)
{
    m_input = input;
    if (!m_pins)
        return;
    Pins::ExternalDrive d;
    if (input) {
        d.kind = *input ? Pins::ExternalDrive::High : Pins::ExternalDrive::Low;
        d.ohms = 1000;
    }
    m_pins->drive(m_pin, d, at, this);
}

void LogicProbe::pinChanged(int, Clock at)
{
    bool level = m_pins->level(m_pin);
    if (level == m_level)
        return;
    m_level = level;
    (level ? m_rises : m_falls)++;
    if (!m_started)
        m_first = at;
    m_started = true;
    m_last = at;
}

Json LogicProbe::observations() const
{
    Json o = Json::object();
    o["level"] = int(m_level);
    o["transitions"] = transitions();
    o["rises"] = m_rises;
    o["falls"] = m_falls;
    if (m_started) {
        o["firstChangeS"] = Rounded(seconds(m_first), 9);
        o["lastChangeS"] = Rounded(seconds(m_last), 9);
    }
    if (m_input)
        o["inputDriven"] = int(*m_input);
    if (m_pins)
        o["chipDrives"] = m_pins->driven(m_pin);
    return o;
}

// ---- voltmeter ----

void Voltmeter::pinChanged(int, Clock)
{
    if (!m_pins->driven(m_pin))
        return;
    double v = m_pins->voltage(m_pin);
    if (m_count > 0 && v == m_last)
        return;
    if (m_count == 0) {
        m_first = m_low = m_high = v;
    }
    m_low = std::min(m_low, v);
    m_high = std::max(m_high, v);
    m_last = v;
    m_count++;
}

Json Voltmeter::observations() const
{
    Json o = Json::object();
    if (!m_count) {
        o["driven"] = false;
        return o;
    }
    o["driven"] = true;
    o["firstVolts"] = Rounded(m_first, 4);
    o["lastVolts"] = Rounded(m_last, 4);
    o["lowestVolts"] = Rounded(m_low, 4);
    o["highestVolts"] = Rounded(m_high, 4);
    o["levels"] = m_count;
    return o;
}

// ---- voltage source ----

void VoltageSource::connect(Pins &pins)
{
    Instrument::connect(pins);
    setVolts(m_volts, pins.now());
}

void VoltageSource::setVolts(double volts, Clock at)
{
    m_volts = volts;
    if (!m_pins)
        return;
    Pins::ExternalDrive d;
    d.kind = Pins::ExternalDrive::Voltage;
    d.volts = volts;
    d.ohms = 0; // an ideal source: the ADC reads it unloaded
    m_pins->drive(m_pin, d, at, this);
}

Json VoltageSource::observations() const
{
    Json o = Json::object();
    o["sourcePin"] = m_pin;
    o["volts"] = m_volts;
    return o;
}

// ---- pulse meter ----

void PulseMeter::pinChanged(int, Clock at)
{
    bool level = m_pins->level(m_pin);
    if (level == m_level)
        return;
    m_level = level;
    if (level) {
        if (m_seenRise) {
            double ms = span(m_rise, at) * 1e3;
            m_minPeriod = m_periods ? std::min(m_minPeriod, ms) : ms;
            m_maxPeriod = m_periods ? std::max(m_maxPeriod, ms) : ms;
            m_lastPeriod = ms;
            m_periods++;
        }
        m_seenRise = true;
        m_rise = at;
        return;
    }
    if (!m_seenRise)
        return;
    double us = span(m_rise, at) * 1e6;
    m_minWidth = m_pulses ? std::min(m_minWidth, us) : us;
    m_maxWidth = m_pulses ? std::max(m_maxWidth, us) : us;
    if (!m_pulses)
        m_firstWidth = us;
    m_lastWidth = us;
    m_pulses++;
    double r = Rounded(us, 3);
    if ((m_widths.empty() || m_widths.back() != r) && m_widths.size() < 1000)
        m_widths.push_back(r);
}

Json PulseMeter::observations() const
{
    Json o = Json::object();
    o["pulses"] = m_pulses;
    if (m_pulses) {
        o["firstWidthUs"] = Rounded(m_firstWidth, 3);
        o["lastWidthUs"] = Rounded(m_lastWidth, 3);
        o["minWidthUs"] = Rounded(m_minWidth, 3);
        o["maxWidthUs"] = Rounded(m_maxWidth, 3);
    }
    if (m_periods) {
        o["periodMs"] = Rounded(m_lastPeriod, 6);
        o["minPeriodMs"] = Rounded(m_minPeriod, 6);
        o["maxPeriodMs"] = Rounded(m_maxPeriod, 6);
    }
    Json w = Json::array();
    for (double v : m_widths)
        w.push_back(v);
    o["widthsUs"] = std::move(w);
    return o;
}

// ---- filters ----

Json FilterReadout::observations() const
{
    static const int kSamples[4] = {2, 3, 5, 8};
    Json a = Json::array();
    if (m_pins) {
        for (int n = 0; n < 4; n++) {
            PinsFilter f = m_pins->filter(n);
            Json one = Json::object();
            one["filter"] = n;
            one["set"] = f.set;
            one["lengthCode"] = f.length;
            one["length"] = kSamples[f.length & 3];
            one["tap"] = f.tap;
            a.push_back(std::move(one));
        }
    }
    Json o = Json::object();
    o["filters"] = std::move(a);
    return o;
}

} // namespace kivo::sim
