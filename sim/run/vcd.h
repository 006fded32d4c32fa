#pragma once
// Writes pin activity as a Value Change Dump for a wave viewer (GTKWave):
// each digital pin's level as a wire P<n> in the module p2, and each analog
// pin's volts as a real P<n> in p2.volts, at most once a microsecond.
#include "chip/device.h"

#include <cstdio>
#include <string>
#include <vector>

namespace kivo::sim {

// Pins as a user lists them: numbers 0..63 and ranges, separated by commas
// ("24,48-52"). False for anything else (blanks, a range running down, an
// empty item).
bool ParsePinList(const std::string &text, std::vector<int> &pins);

class VcdRecorder : public Device
{
public:
    // Fails (see ok()/error()) when the file cannot be created. With
    // `fromSeconds` the dump starts with the pins' state at the first clock
    // at or after that simulated time, and nothing before it is written.
    VcdRecorder(const std::string &path, std::vector<int> digitalPins, std::vector<int> analogPins,
                double fromSeconds = 0);
    ~VcdRecorder() override;
    bool ok() const { return m_file != nullptr; }
    const std::string &error() const { return m_error; }

    std::vector<int> pins() const override;
    void connect(Pins &pins) override;
    void pinChanged(int pin, Clock at) override;
    Clock nextEvent() const override { return m_flushAt; }
    void run(Clock at) override;
    void finish(Clock at) override;
    // Closes the file; false when writing failed.
    bool close();

private:
    struct Signal {
        int pin;
        bool analog;
        std::string id;
        int bit = -1;        // last written level
        double volts = -1;   // last written value
        double pending = -1; // value waiting for its microsecond
        Clock writtenAt = 0;
        bool hasPending = false;
    };
    void stamp(Clock at);
    // Starts the dump at `at` once the window has begun; false before.
    bool started(Clock at);
    void writeValue(Signal &s);
    Signal *find(int pin);

    std::FILE *m_file = nullptr;
    std::string m_path, m_error;
    std::vector<Signal> m_signals;
    std::vector<int> m_index; // pin -> signal index (-1 none), per kind
    std::vector<int> m_analogIndex;
    long long m_lastStamp = -1;
    Clock m_flushAt = kNever;
    bool m_failed = false;
    double m_from = 0;
    bool m_started = false;
};

} // namespace kivo::sim
