#pragma once
// Records two DAC pins as a 16-bit stereo WAV: left and right are the two
// pins, one sample per DAC sample period (each pin's X from when it runs in a
// DAC dither or noise mode, its periods counted from its own start), each the
// mean pin voltage over that period, scaled so that the DAC's span maps onto
// the 16-bit range (its middle on 0).
#include "chip/device.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kivo {
class CKivoDoc;
}

namespace kivo::sim {

class WavRecorder : public Device
{
public:
    WavRecorder(int leftPin, int rightPin);

    // The pins of the project's first Simple Sound object; false when it has none.
    static bool SoundPins(const CKivoDoc &doc, int *left, int *right);

    std::vector<int> pins() const override { return {m_channels[0].pin, m_channels[1].pin}; }
    void pinChanged(int pin, Clock at) override;
    void finish(Clock at) override;

    // The recording so far: complete sample periods of both pins (those
    // handed on, when streamed).
    std::size_t frames() const;
    // The samples kept of a channel: all of them, unless streamed.
    const std::vector<std::int16_t> &channel(int which) const { return m_channels[which].samples; }
    // How loud a channel got: the largest distance from the middle
    // (0..32768), and the samples at the DAC's rails.
    int peak(int which) const { return m_channels[which].peak; }
    std::size_t clipped(int which) const { return m_channels[which].clipped; }
    // A live run's recorder keeps nothing: each sample period, once both pins
    // have it, goes to the end of `frames` as a left and a right sample, and
    // a pin that has not started plays the middle. Null keeps the recording.
    void streamTo(std::vector<std::int16_t> *frames) { m_stream = frames; }
    // Samples per second: the clock over the sample period (0 before the DAC runs).
    int sampleRate() const { return m_rate; }
    Clock startClock() const { return m_t0; }
    Clock period() const { return m_period; }

    // Writes a PCM WAV (2 channels, 16 bits). False with *error when the file
    // cannot be written; a run with no DAC output writes an empty recording.
    bool write(const std::string &path, std::string *error) const;
    // The same as bytes.
    std::vector<std::uint8_t> wavBytes() const;

private:
    struct Channel {
        int pin = -1;
        bool started = false;
        Clock t0 = 0;     // its DAC's first period starts here
        double volts = 0; // since `since`
        Clock since = 0;
        double sum = 0; // volt-clocks in the open period
        std::vector<std::int16_t> samples;
        std::size_t streamed = 0; // samples handed on and dropped
        int peak = 0;
        std::size_t clipped = 0;
    };
    void begin(Channel &c, Clock at);
    void integrate(Channel &c, Clock to);
    std::int16_t toSample(double meanVolts) const;
    void stream();

    Channel m_channels[2];
    Clock m_t0 = 0;
    Clock m_period = 0;
    double m_span = 3.3; // volts of the full 16-bit range
    int m_rate = 0;
    std::vector<std::int16_t> *m_stream = nullptr;
    std::size_t m_handed = 0; // frames streamed
};

} // namespace kivo::sim
