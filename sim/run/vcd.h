#pragma once
// Writes pin activity as a Value Change Dump for a wave viewer (GTKWave):
// each digital pin's level as a wire P<n> in the module p2, and each analog
// pin's volts as a real P<n> in p2.volts, at most once a microsecond.
#include "chip/device.h"
#include "run/pinhistory.h"

#include <cstdio>
#include <string>
#include <vector>

namespace kivo::sim {

// Pins as a user lists them: numbers 0..63 and ranges, separated by commas
// ("24,48-52"). False for anything else (blanks, a range running down, an
// empty item).
bool ParsePinList(const std::string &text, std::vector<int> &pins);

// The file itself, for the recorder and for a logic view's saved window:
// the header names the signals (their ids are their order), then time
// stamps in nanoseconds and values.
class VcdWriter
{
public:
    struct Signal {
        int pin;
        bool analog;
    };
    ~VcdWriter();
    // False, with error(), when the file cannot be created.
    bool open(const std::string &path);
    bool ok() const { return m_file != nullptr; }
    const std::string &error() const { return m_error; }
    void header(const std::vector<Signal> &list);
    // A time stamp, when later than the last one written.
    void stamp(double seconds);
    void beginDump();
    void endDump();
    void bit(std::size_t signal, int level); // 0, 1, or -1 for unknown
    void real(std::size_t signal, double volts);
    // False when writing failed.
    bool close();

private:
    std::FILE *m_file = nullptr;
    std::string m_path, m_error;
    std::vector<std::string> m_ids;
    long long m_lastStamp = -1;
};

// The window [from, to] of a logic trace, its pins as wires; a pin whose
// history begins inside the window is unknown (x) until then.
bool WriteVcd(const std::string &path, const LogicTrace &trace, double from, double to, std::string *error);

class VcdRecorder : public Device
{
public:
    // Fails (see ok()/error()) when the file cannot be created. With
    // `fromSeconds` the dump starts with the pins' state at the first clock
    // at or after that simulated time, and nothing before it is written.
    VcdRecorder(const std::string &path, std::vector<int> digitalPins, std::vector<int> analogPins,
                double fromSeconds = 0);
    ~VcdRecorder() override;
    bool ok() const { return m_writer.ok(); }
    const std::string &error() const { return m_writer.error(); }

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

    VcdWriter m_writer;
    std::vector<Signal> m_signals;
    std::vector<int> m_index; // pin -> signal index (-1 none), per kind
    std::vector<int> m_analogIndex;
    Clock m_flushAt = kNever;
    bool m_failed = false;
    double m_from = 0;
    bool m_started = false;
};

} // namespace kivo::sim
