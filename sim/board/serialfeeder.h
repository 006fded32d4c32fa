#pragma once
// The console's far end: a sender that feeds bytes into an async receive pin
// back to back at whatever bit period the program gave that pin, once its
// receive smart pin runs (bytes nobody reads are lost, as on the chip).
#include "chip/device.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <string>

namespace kivo::sim {

class SerialFeeder : public Device
{
public:
    explicit SerialFeeder(int pin = 63) : m_pin(pin) {}

    void send(const std::string &bytes);
    // Bytes after those sent, pulled one at a time when the line is free for
    // the next (false at the end), so that a long input is never held.
    void sendFrom(std::function<bool(std::uint8_t &)> source);
    bool idle() const { return m_queue.empty() && m_state == Waiting; }
    std::size_t pending() const { return m_queue.size(); }

    std::vector<int> pins() const override { return {m_pin}; }
    void connect(Pins &pins) override;
    void pinChanged(int pin, Clock at) override;
    Clock nextEvent() const override { return m_next; }
    void run(Clock at) override;

private:
    bool receiverReady() const;
    bool hasByte();
    void level(bool high, Clock at);
    Clock boundary(int slot) const;

    int m_pin;
    std::deque<std::uint8_t> m_queue;
    std::function<bool(std::uint8_t &)> m_source;
    enum State { Waiting, Gap, Sending } m_state = Waiting;
    Clock m_next = kNever;
    Clock m_start = 0;
    std::uint64_t m_period64 = 64;
    int m_bits = 8, m_slot = 0;
    std::uint32_t m_word = 0;
};

} // namespace kivo::sim
