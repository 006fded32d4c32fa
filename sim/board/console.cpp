#include "board/console.h"

#include "board/serialfeeder.h"
#include "chip/chip.h"
#include "chip/pins.h"

#include <string>

namespace kivo::sim {

namespace {
constexpr int kTxPin = 62;
constexpr int kRxPin = 63;
} // namespace

bool ExitDetector::feed(std::uint8_t b, const std::function<void(std::uint8_t)> &emit)
{
    if (m_held == 2) {
        m_held = 0;
        m_status = b;
        return true;
    }
    if (m_held == 1 && b == 0x00) {
        m_held = 2;
        return false;
    }
    if (m_held == 1)
        emit(0xFF); // not an exit after all
    m_held = b == 0xFF ? 1 : 0;
    if (!m_held)
        emit(b);
    return false;
}

struct Console::Tap {
    Chip *chip = nullptr; // null once the console is gone
    std::function<void(std::uint8_t, Clock)> output;
    ExitDetector exit;
};

Console::Console(Chip &chip) : m_chip(chip), m_tap(std::make_shared<Tap>())
{
    m_tap->chip = &chip;
    chip.pins().onAsyncTx([tap = m_tap](int pin, std::uint32_t word, int, Clock at) {
        if (pin != kTxPin || !tap->chip)
            return;
        auto emit = [&](std::uint8_t v) {
            if (tap->output)
                tap->output(v, at);
        };
        if (tap->exit.feed(std::uint8_t(word), emit))
            tap->chip->requestStop();
    });
}

Console::~Console() { m_tap->chip = nullptr; }

void Console::setOutput(std::function<void(std::uint8_t, Clock)> output) { m_tap->output = std::move(output); }

SerialFeeder &Console::feeder()
{
    if (!m_feeder) {
        m_feeder = std::make_shared<SerialFeeder>(kRxPin);
        m_chip.pins().attach(m_feeder);
    }
    return *m_feeder;
}

void Console::send(const std::vector<std::uint8_t> &bytes) { feeder().send(std::string(bytes.begin(), bytes.end())); }

void Console::sendFrom(std::function<bool(std::uint8_t &)> source) { feeder().sendFrom(std::move(source)); }

int Console::exitStatus() const { return m_tap->exit.exitStatus(); }

} // namespace kivo::sim
