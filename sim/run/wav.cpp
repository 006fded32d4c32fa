#include "run/wav.h"

#include "chip/pins.h"
#include "model/codeobject.h"
#include "model/kivodoc.h"
#include "run/kindboard.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace kivo::sim {

namespace {

// A pin's WRPIN word selects a DAC (M[12:10] = %101) with a smart mode of
// %00001..%00011 (noise, random dither, PWM dither).
bool DitheringDac(std::uint32_t mode)
{
    std::uint32_t smart = (mode >> 1) & 0x1F;
    return ((mode >> 18) & 7) == 5 && smart >= 1 && smart <= 3;
}

// The peak voltage of the DAC range M[9:8] selects: 990 ohm 3.3 V, 600 ohm
// 2.0 V, 123.75 ohm 3.3 V, 75 ohm 2.0 V.
double DacPeak(std::uint32_t mode) { return ((mode >> 16) & 1) ? 2.0 : 3.3; }

void Le16(std::vector<std::uint8_t> &b, std::uint32_t v)
{
    b.push_back(static_cast<std::uint8_t>(v & 0xFF));
    b.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}

void Le32(std::vector<std::uint8_t> &b, std::uint32_t v)
{
    Le16(b, v & 0xFFFF);
    Le16(b, v >> 16);
}

} // namespace

WavRecorder::WavRecorder(int leftPin, int rightPin)
{
    m_channels[0].pin = leftPin;
    m_channels[1].pin = rightPin;
}

bool WavRecorder::SoundPins(const CKivoDoc &doc, int *left, int *right)
{
    for (const auto &o : doc.m_objList) {
        const IKindBoard *kind = FindKindBoard(o->m_nKind);
        if (kind && kind->playsSound())
            return kind->soundPins(*o, left, right);
    }
    return false;
}

void WavRecorder::begin(Channel &c, Clock at)
{
    const std::uint32_t mode = m_pins->modeWord(c.pin);
    if (&c == &m_channels[0]) {
        std::uint32_t x = m_pins->xValue(c.pin) & 0xFFFF;
        m_period = x ? x : 0x10000;
        m_t0 = at;
        // The DAC's 16-bit value v gives v/256 of its 255 steps of peak/255 volts.
        m_span = DacPeak(mode) * 256.0 / 255.0;
        m_rate = static_cast<int>(std::lround(m_pins->time().frequencyAt(at) / double(m_period)));
    }
    c.started = true;
    c.t0 = at;
    c.since = at;
    c.sum = 0;
    c.volts = m_pins->voltage(c.pin);
    c.samples.clear();
    c.streamed = 0;
    c.peak = 0;
    c.clipped = 0;
}

void WavRecorder::integrate(Channel &c, Clock to)
{
    if (to <= c.since)
        return;
    for (;;) {
        const Clock end = c.t0 + (c.streamed + c.samples.size() + 1) * m_period;
        if (to < end)
            break;
        c.sum += c.volts * double(end - c.since);
        const std::int16_t s = toSample(c.sum / double(m_period));
        c.samples.push_back(s);
        c.peak = std::max(c.peak, std::abs(int(s)));
        c.clipped += s == -32768 || s == 32767;
        c.sum = 0;
        c.since = end;
    }
    c.sum += c.volts * double(to - c.since);
    c.since = to;
}

std::int16_t WavRecorder::toSample(double meanVolts) const
{
    const double v = std::floor(meanVolts / m_span * 65536.0 + 0.5) - 32768.0;
    return static_cast<std::int16_t>(std::clamp(v, -32768.0, 32767.0));
}

void WavRecorder::pinChanged(int pin, Clock at)
{
    if (!m_pins)
        return;
    for (Channel &c : m_channels) {
        if (c.pin != pin)
            continue;
        if (!c.started) {
            // The left pin's start opens the recording; the right one joins at its own start.
            const bool running = m_pins->smartRunning(pin) && DitheringDac(m_pins->modeWord(pin));
            if (running && (&c == &m_channels[0] || m_channels[0].started))
                begin(c, at);
            continue;
        }
        integrate(c, at);
        c.volts = m_pins->voltage(pin);
    }
    stream();
}

void WavRecorder::finish(Clock at)
{
    for (Channel &c : m_channels)
        if (c.started)
            integrate(c, at);
    stream();
}

void WavRecorder::stream()
{
    if (!m_stream)
        return;
    auto &left = m_channels[0].samples, &right = m_channels[1].samples;
    const std::size_t n = m_channels[1].started ? std::min(left.size(), right.size()) : left.size();
    if (n == 0)
        return;
    for (std::size_t i = 0; i < n; i++) {
        m_stream->push_back(left[i]);
        m_stream->push_back(i < right.size() ? right[i] : std::int16_t(0));
    }
    const std::size_t n2 = std::min(n, right.size());
    left.erase(left.begin(), left.begin() + std::ptrdiff_t(n));
    right.erase(right.begin(), right.begin() + std::ptrdiff_t(n2));
    m_channels[0].streamed += n;
    m_channels[1].streamed += n2;
    m_handed += n;
}

std::size_t WavRecorder::frames() const
{
    return m_stream ? m_handed : std::min(m_channels[0].samples.size(), m_channels[1].samples.size());
}

std::vector<std::uint8_t> WavRecorder::wavBytes() const
{
    const std::size_t n = std::min(m_channels[0].samples.size(), m_channels[1].samples.size());
    const std::uint32_t rate = m_rate > 0 ? static_cast<std::uint32_t>(m_rate) : 32000u;
    const std::uint32_t dataBytes = static_cast<std::uint32_t>(n * 4);
    std::vector<std::uint8_t> b;
    b.reserve(44 + dataBytes);
    auto tag = [&b](const char *t) {
        for (; *t; ++t)
            b.push_back(static_cast<std::uint8_t>(*t));
    };
    tag("RIFF");
    Le32(b, 36 + dataBytes);
    tag("WAVEfmt ");
    Le32(b, 16); // fmt chunk size
    Le16(b, 1);  // PCM
    Le16(b, 2);  // channels
    Le32(b, rate);
    Le32(b, rate * 4); // bytes per second
    Le16(b, 4);        // bytes per frame
    Le16(b, 16);       // bits per sample
    tag("data");
    Le32(b, dataBytes);
    for (std::size_t i = 0; i < n; ++i) {
        Le16(b, static_cast<std::uint16_t>(m_channels[0].samples[i]));
        Le16(b, static_cast<std::uint16_t>(m_channels[1].samples[i]));
    }
    return b;
}

bool WavRecorder::write(const std::string &path, std::string *error) const
{
    const std::vector<std::uint8_t> bytes = wavBytes();
    // The rename replaces a link with a file: write where the link points.
    std::error_code ec;
    std::string target = path;
    if (std::filesystem::is_symlink(path, ec)) {
        auto resolved = std::filesystem::weakly_canonical(path, ec);
        if (!ec)
            target = resolved.string();
    }
    const std::string temp = target + ".part";
    std::FILE *f = std::fopen(temp.c_str(), "wb");
    bool ok = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (f && std::fclose(f) != 0)
        ok = false;
    if (ok && std::rename(temp.c_str(), target.c_str()) != 0)
        ok = false;
    if (!ok) {
        std::remove(temp.c_str());
        if (error)
            *error = "cannot write the WAV file " + path;
    }
    return ok;
}

} // namespace kivo::sim
