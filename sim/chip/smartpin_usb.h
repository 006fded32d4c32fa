#pragma once
// USB 1.1 signalling on a D-/D+ pair, as the USB smart-pin mode (%11011) does
// it: the line receiver (NRZI decoding, bit unstuffing, SOP/EOP, line states,
// the 16-bit status word) and the line transmitter (the two-level output
// buffer, line commands, SYNC, NRZI, bit stuffing, the automatic EOP). The
// smart-pin mode and the USB device models both use them, so a device hears
// and talks exactly as the pair does.
//
// Time is in system clocks; bit periods are 16.16 fixed-point clocks.
#include "chip/time.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

namespace kivo::sim {

// The pair's differential state. J and K depend on the speed: full speed
// idles with D+ high (J), low speed with D- high.
enum class UsbLine : std::uint8_t { SE0, J, K, SE1 };

UsbLine usbLineOf(bool dm, bool dp, bool fullSpeed);

// 16.16 clocks per bit for a bit rate at a clock frequency.
std::uint64_t usbPeriodFx(double clockHz, double bitsPerSecond);
// The same from the pair's WXPIN baud field: X[13:0] / 65536 of the clock.
std::uint64_t usbPeriodFromNco(std::uint32_t x);

// Receiver status bits, as RDPIN shows them.
namespace usbstatus {
inline constexpr std::uint32_t kJ = 1u << 0;
inline constexpr std::uint32_t kK = 1u << 1;
inline constexpr std::uint32_t kSe0 = 1u << 2;
inline constexpr std::uint32_t kSteady = 1u << 3; // 7 bit periods without a change
inline constexpr std::uint32_t kSop = 1u << 4;
inline constexpr std::uint32_t kEop = 1u << 5;
inline constexpr std::uint32_t kError = 1u << 6;
inline constexpr std::uint32_t kToggle = 1u << 7;
} // namespace usbstatus

// Decodes the wire. Samples are taken in the middle of each bit period,
// counted from the last transition, so a receiver follows a sender whose
// clock differs a little. Two changes at the same clock count as one.
class UsbLineReceiver
{
public:
    void setPeriod(std::uint64_t periodFx) { m_period = periodFx ? periodFx : 1; }
    void setFullSpeed(bool fs) { m_fullSpeed = fs; }
    bool fullSpeed() const { return m_fullSpeed; }

    // The wire levels changed at `at` (never earlier than a previous call).
    void line(bool dm, bool dp, Clock at);
    // Takes the samples before `to`.
    void advance(Clock to);
    // The status word at `at` (advances first).
    std::uint32_t status(Clock at);
    // The clock at which the status changes without a wire change: the
    // steady-state bit after 7 quiet bit periods; kNever when none is due.
    Clock nextChange() const;

    UsbLine current() const { return m_state; }
    Clock lastTransition() const { return m_origin; }
    // How long the line has been at its current state at `at`, in bit periods.
    std::uint64_t bitsSince(Clock at) const;

    // A packet ended (EOP seen): its bytes after the SYNC, and whether it
    // arrived without an unstuff or line error.
    std::function<void(const std::vector<std::uint8_t> &bytes, bool ok, Clock at)> onPacket;

private:
    void sample(UsbLine s);
    void endOfPacket(Clock at);

    std::uint64_t m_period = 1;
    bool m_fullSpeed = false;
    UsbLine m_state = UsbLine::SE0;
    Clock m_origin = 0;          // last transition
    std::uint64_t m_taken = 0;   // samples taken since m_origin
    UsbLine m_prev = UsbLine::J; // NRZI reference
    int m_zeros = 0;             // SYNC hunt: zeros in a row
    int m_ones = 0;              // stuffing: ones in a row
    int m_se0 = 0;               // SE0 samples in a row
    bool m_inPacket = false;
    bool m_packetError = false;
    std::uint32_t m_byte = 0;
    int m_bits = 0;
    std::vector<std::uint8_t> m_bytes;
    std::uint32_t m_flags = 0; // byte, toggle, error, EOP, SOP
};

// Encodes what is written to it onto the wire, one symbol per bit period.
// Values written: 0 idle, 1 SE0, 2 K, 3 J, 4 EOP (SE0, SE0, J, idle),
// $80 start of packet (SYNC, then each further value is a data byte, and an
// EOP follows when none is waiting at a byte's end).
class UsbLineTransmitter
{
public:
    enum class Out : std::uint8_t { Idle, SE0, J, K };

    // Bit ticks fall at origin + k * period.
    void setPeriod(std::uint64_t periodFx, Clock origin);
    // How many values the buffer takes before it is full (the pair has one
    // holding register; device models queue whole packets).
    void setCapacity(std::size_t n) { m_capacity = n; }
    bool room() const { return m_pending.size() < m_capacity; }
    bool busy() const { return !m_pending.empty() || !m_symbols.empty() || m_inPacket; }
    // Writes a value at `at`; a full buffer drops the oldest waiting value,
    // as overwriting the holding register does.
    void write(std::uint32_t value, Clock at);
    // Clears everything; the output goes idle.
    void clear();

    Out output() const { return m_out; }
    // The next bit tick at which something happens; kNever when idle.
    Clock nextTick() const { return m_next; }
    // Acts at a tick (call when nextTick() comes due).
    void run(Clock at);

    // The output changed at `at`.
    std::function<void(Out, Clock)> onOutput;
    // A value left the buffer for the shifter at `at` (room again).
    std::function<void(Clock)> onRoom;

private:
    Clock tickAfter(Clock at) const;
    void encodeBit(int bit);
    void refill(Clock at);

    std::uint64_t m_period = 1;
    Clock m_origin = 0;
    std::size_t m_capacity = 1;
    std::deque<std::uint32_t> m_pending;
    std::deque<Out> m_symbols;
    bool m_inPacket = false;
    bool m_level = false; // NRZI: true = J
    int m_ones = 0;
    Out m_out = Out::Idle;
    Clock m_next = kNever;
};

} // namespace kivo::sim
