#pragma once
// The default audio output. It lives in a module of its own (gui/audio),
// loaded when a card first asks for it: Qt Multimedia and the libraries under
// it (PulseAudio, codecs, Kerberos, ...) would otherwise load with every
// start of the application and cost a third of its time to the first window.
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

namespace kivo {

class IAudioOut
{
public:
    virtual ~IAudioOut() = default;
    // The device's name; "" when there is no output device.
    virtual QString Description() const = 0;
    // Plays interleaved stereo 16-bit frames made at `rate` frames a second,
    // resampled to the output; opens the output first when it is closed.
    // What does not fit in the output's buffer is dropped.
    virtual void Play(const std::vector<std::int16_t> &frames, int rate) = 0;
    // Closes the output, dropping what it holds.
    virtual void Stop() = 0;
};

// The output, or null with the reason in `error` when its module cannot be
// loaded.
std::unique_ptr<IAudioOut> OpenAudioOut(QString *error);

} // namespace kivo

// The module's one entry point.
extern "C" kivo::IAudioOut *KivoOpenAudioOut();
