// The Simple Sound object on the simulated board: a meter on its two pins,
// which records them as --wav does.
#include "board/instrument.h"
#include "kinds/simplesound/slots.h"
#include "model/text.h"
#include "run/kindboard.h"
#include "run/wav.h"

#include <algorithm>
#include <cstdlib>

namespace kivo::sim {

namespace {

// Both pins recorded as samples: how loud each channel got, and the samples
// at the DAC's rails (clipped).
class SoundMeter : public Instrument
{
public:
    SoundMeter(int left, int right) : m_wav(left, right) {}
    std::vector<int> pins() const override { return m_wav.pins(); }
    void connect(Pins &pins) override
    {
        Instrument::connect(pins);
        m_wav.connect(pins);
    }
    void pinChanged(int pin, Clock at) override { m_wav.pinChanged(pin, at); }
    void finish(Clock at) override { m_wav.finish(at); }
    std::string what() const override { return "sound meter"; }
    Json observations() const override
    {
        Json o = Json::object();
        o["sampleRate"] = m_wav.sampleRate();
        o["frames"] = double(m_wav.frames());
        for (int c = 0; c < 2; c++) {
            Json ch = Json::object();
            ch["peak"] = peak(c);
            ch["clipped"] = double(clipped(c));
            o[c == 0 ? "left" : "right"] = std::move(ch);
        }
        return o;
    }
    // The largest distance from the middle, 0..32768.
    int peak(int c) const
    {
        int p = 0;
        for (auto s : m_wav.channel(c))
            p = std::max(p, std::abs(int(s)));
        return p;
    }
    std::size_t clipped(int c) const
    {
        const auto &s = m_wav.channel(c);
        return std::size_t(std::count_if(s.begin(), s.end(), [](std::int16_t v) { return v == -32768 || v == 32767; }));
    }
    std::size_t frames() const { return m_wav.frames(); }

private:
    WavRecorder m_wav;
};

class SimpleSoundBoardImpl : public IKindBoard
{
public:
    std::int32_t Code() const override { return kSimpleSound; }
    bool wire(BoardWiring &, ProjectBoard::Wired &w) const override
    {
        int left = 0, right = 0;
        if (soundPins(*w.object, &left, &right) && left != right)
            w.device = std::make_shared<SoundMeter>(left, right);
        return true;
    }
    // Sound on both pins within the run, never at the DAC's rails.
    Verdict verify(const VerifyView &v) const override
    {
        auto meter = std::dynamic_pointer_cast<SoundMeter>(v.wired.device);
        if (!meter)
            return Skip("no pair of pins to listen to");
        Json m = meter->observations();
        // A channel at rest sits in the middle; sound is a swing of at
        // least 1/256 of the span.
        constexpr int kHeard = 128;
        const int left = meter->peak(0), right = meter->peak(1);
        if (left < kHeard || right < kHeard)
            return Fail("sound on both pins",
                        Format("peaks of %d and %d of 32768 in %zu samples", left, right, meter->frames()), m);
        if (meter->clipped(0) || meter->clipped(1))
            return Fail("sound without clipping",
                        Format("%zu and %zu samples at the DAC's rails", meter->clipped(0), meter->clipped(1)), m);
        return Pass(Format("sound on both pins (peaks %d and %d of 32768), no clipping; the notes' pitches are not "
                           "checked",
                           left, right),
                    m);
    }
    bool playsSound() const override { return true; }
    bool soundPins(const CCodeObject &o, int *left, int *right) const override
    {
        SimpleSoundSlots slots(o);
        const int l = TextToInt(slots.LeftPin()), r = TextToInt(slots.RightPin());
        if (l < 0 || l > 63 || r < 0 || r > 63)
            return false;
        *left = l;
        *right = r;
        return true;
    }
};

} // namespace

const IKindBoard &SimpleSoundBoard()
{
    static const SimpleSoundBoardImpl board;
    return board;
}

} // namespace kivo::sim
