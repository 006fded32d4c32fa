#pragma once
// A USB host written against the pins alone: it drives the USB smart-pin pair
// as the driver cog does (WRPIN/WXPIN/WYPIN/RDPIN at explicit clocks), so the
// device models and the smart-pin mode are tested together without a cog.
#include "board/usb_protocol.h"
#include "chip/pins.h"
#include "chip/time.h"

#include <cstdint>
#include <vector>

namespace kivo::sim::test {

class UsbHost
{
public:
    static constexpr double kHz = 160e6;

    UsbHost(Pins &pins, int dm, bool fullSpeed) : m_pins(pins), m_dm(dm), m_fs(fullSpeed)
    {
        m_pins.wrpin(dm, 0x76, m_t);
        m_pins.wrpin(dm + 1, 0x76, m_t);
        setSpeed(fullSpeed);
        m_pins.setCogOutputs(0, std::uint64_t(3) << dm, 0, m_t + 1);
        step(16);
    }

    Clock now() const { return m_t; }
    void step(Clock n)
    {
        m_t += n;
        m_pins.advance(m_t);
    }
    void waitSeconds(double s) { step(Clock(s * kHz)); }

    void setSpeed(bool fullSpeed)
    {
        m_fs = fullSpeed;
        std::uint32_t nco = std::uint32_t((fullSpeed ? 12e6 : 1.5e6) / kHz * 65536.0);
        m_pins.wxpin(m_dm, (fullSpeed ? 0xC000u : 0x8000u) | nco, m_t);
        step(4);
    }
    double bitClocks() const { return kHz / (m_fs ? 12e6 : 1.5e6); }

    std::uint32_t status() { return m_pins.rqpin(m_dm, m_t).z; }

    // One value into the output buffer, once it has room.
    void put(std::uint32_t v)
    {
        for (int guard = 0; !(m_pins.in(m_t) >> (m_dm + 1) & 1) && guard < 100000; ++guard)
            step(2);
        m_pins.wypin(m_dm, v, m_t);
        m_pins.wypin(m_dm + 1, v, m_t); // acknowledges the room flag
        step(6);
    }

    // Sends a packet and waits until the pair has heard its end.
    void send(const std::vector<std::uint8_t> &packet)
    {
        put(0x80);
        for (std::uint8_t b : packet)
            put(b);
        for (int g = 0; !(status() & 4) && g < 200000; ++g)
            step(2);
        for (int g = 0; !(status() & 0x20) && g < 200000; ++g)
            step(2);
    }

    // The device's answer (PID first), empty on a timeout or a line error.
    std::vector<std::uint8_t> receive()
    {
        Clock deadline = m_t + Clock(48 * bitClocks());
        while (!(status() & 0x10)) {
            if (m_t >= deadline)
                return {};
            step(2);
        }
        std::vector<std::uint8_t> bytes;
        std::uint32_t toggle = 0;
        for (Clock end = m_t + Clock(1000 * bitClocks()); m_t < end; step(2)) {
            std::uint32_t s = status();
            if ((s & 0x80) != toggle) {
                toggle = s & 0x80;
                bytes.push_back(std::uint8_t(s >> 8));
            }
            if (s & 0x40)
                return {};
            if (s & 0x20)
                return bytes;
        }
        return {};
    }

    void keepAlive()
    {
        if (m_fs)
            send(usb::Sof(m_frame++));
        else
            put(4);
        step(Clock(8 * bitClocks()));
    }

    // SE0 for `seconds`, then idle.
    void busReset(double seconds)
    {
        put(1);
        waitSeconds(seconds);
        put(0);
        step(Clock(20 * bitClocks()));
    }

    // One transaction: token, then (OUT/SETUP) the data packet; the answer.
    std::vector<std::uint8_t> transaction(std::uint8_t tokenPid, int addr, int ep,
                                          const std::vector<std::uint8_t> &data = {}, std::uint8_t dataPid = 0,
                                          bool ack = true, double ackDelayBits = 0)
    {
        send(usb::Token(tokenPid, addr, ep));
        if (tokenPid != usb::kIn)
            send(usb::DataPacket(dataPid, data));
        auto answer = receive();
        if (ack && tokenPid == usb::kIn && answer.size() >= 3 &&
            (answer[0] == usb::kData0 || answer[0] == usb::kData1) &&
            usb::Crc16Ok(answer.data() + 1, answer.size() - 1)) {
            step(Clock(ackDelayBits * bitClocks()));
            send({usb::kAck});
        }
        step(Clock(4 * bitClocks()));
        return answer;
    }

    // A control transfer; IN data in *in. False when a stage fails.
    bool control(int addr, const std::vector<std::uint8_t> &setup, std::vector<std::uint8_t> *in = nullptr,
                 const std::vector<std::uint8_t> &out = {})
    {
        auto a = transaction(usb::kSetup, addr, 0, setup, usb::kData0);
        if (a != std::vector<std::uint8_t>{usb::kAck})
            return false;
        int length = setup[6] | setup[7] << 8;
        bool toHost = setup[0] & 0x80;
        bool toggle = true;
        if (in)
            in->clear();
        if (length && toHost) {
            for (int tries = 0; tries < 50;) {
                auto d = transaction(usb::kIn, addr, 0);
                if (d == std::vector<std::uint8_t>{usb::kNak}) {
                    ++tries;
                    keepAlive();
                    continue;
                }
                if (d.size() < 3 || d[0] != (toggle ? usb::kData1 : usb::kData0))
                    return false;
                toggle = !toggle;
                if (in)
                    in->insert(in->end(), d.begin() + 1, d.end() - 2);
                if (d.size() - 3 < 8 || (in && int(in->size()) >= length))
                    break;
            }
            return transaction(usb::kOut, addr, 0, {}, usb::kData1) == std::vector<std::uint8_t>{usb::kAck};
        }
        if (length) {
            if (transaction(usb::kOut, addr, 0, out, usb::kData1) != std::vector<std::uint8_t>{usb::kAck})
                return false;
        }
        auto s = transaction(usb::kIn, addr, 0);
        return s.size() == 3 && s[0] == usb::kData1;
    }

private:
    Pins &m_pins;
    int m_dm;
    bool m_fs;
    Clock m_t = 100;
    int m_frame = 0;
};

} // namespace kivo::sim::test
