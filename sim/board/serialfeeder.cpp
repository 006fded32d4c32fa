#include "board/serialfeeder.h"

#include "chip/pins.h"
#include "chip/smartpin.h"

namespace kivo::sim {

void SerialFeeder::send(const std::string &bytes)
{
    for (unsigned char c : bytes)
        m_queue.push_back(c);
    if (m_pins && m_state == Waiting)
        pinChanged(m_pin, m_pins->now());
}

void SerialFeeder::sendFrom(std::function<bool(std::uint8_t &)> source)
{
    m_source = std::move(source);
    if (m_pins && m_state == Waiting)
        pinChanged(m_pin, m_pins->now());
}

bool SerialFeeder::hasByte()
{
    std::uint8_t b = 0;
    if (m_queue.empty() && m_source) {
        if (m_source(b))
            m_queue.push_back(b);
        else
            m_source = nullptr;
    }
    return !m_queue.empty();
}

void SerialFeeder::connect(Pins &pins)
{
    Device::connect(pins);
    level(true, pins.now()); // an idle line
    pinChanged(m_pin, pins.now());
}

bool SerialFeeder::receiverReady() const
{
    return pinmode::smart(m_pins->modeWord(m_pin)) == 0x1F && m_pins->smartRunning(m_pin);
}

void SerialFeeder::level(bool high, Clock at)
{
    Pins::ExternalDrive d;
    d.kind = high ? Pins::ExternalDrive::High : Pins::ExternalDrive::Low;
    d.ohms = 50; // a USB serial adapter's output
    m_pins->drive(m_pin, d, at, this);
}

Clock SerialFeeder::boundary(int slot) const
{
    Clock c = m_start + Clock(slot) * m_period64 / 64;
    return c > m_start ? c : m_start + Clock(slot);
}

void SerialFeeder::pinChanged(int, Clock at)
{
    // The receiver was set up (or changed): after a bit of idle line, start.
    if (m_state != Waiting || !receiverReady() || !hasByte())
        return;
    std::uint32_t x = m_pins->xValue(m_pin);
    m_period64 = serialPeriod64(x);
    m_bits = int(x & 31) + 1;
    m_start = at;
    m_state = Gap;
    m_next = boundary(1);
}

void SerialFeeder::run(Clock at)
{
    if (m_state == Gap) {
        if (!receiverReady() || !hasByte()) {
            m_state = Waiting;
            m_next = kNever;
            return;
        }
        std::uint32_t x = m_pins->xValue(m_pin);
        m_period64 = serialPeriod64(x);
        m_bits = int(x & 31) + 1;
        m_word = m_queue.front();
        m_queue.pop_front();
        m_start = at;
        m_slot = 0;
        m_state = Sending;
        level(false, at); // start bit
        m_next = boundary(1);
        return;
    }
    if (m_state != Sending)
        return;
    ++m_slot;
    if (m_slot <= m_bits) {
        level(m_word >> (m_slot - 1) & 1, at);
        m_next = boundary(m_slot + 1);
    } else {
        level(true, at); // stop bit, then the next byte right after it
        m_state = Gap;
        m_start = at;
        m_next = boundary(1);
    }
}

} // namespace kivo::sim
