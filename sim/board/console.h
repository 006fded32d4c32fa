#pragma once
// The board's console: the USB serial adapter on pins 62 (the P2 sends) and
// 63 (the P2 receives). What the program sends reaches an output callback as
// each word is sent; input bytes go to pin 63 through a SerialFeeder. The
// sequence $FF $00 S on the output is the program's exit: it stops the run,
// S is the exit status, and the three bytes are not passed on.
#include "chip/time.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace kivo::sim {

class Chip;
class SerialFeeder;

// Picks $FF $00 S out of a byte stream. A byte goes to `emit` once it cannot
// start the sequence any more; the bytes of a sequence cut off by the end of
// the run stay held.
class ExitDetector
{
public:
    // True when `b` completes the sequence (then exitStatus() is set).
    bool feed(std::uint8_t b, const std::function<void(std::uint8_t)> &emit);
    int exitStatus() const { return m_status; }

private:
    int m_held = 0; // bytes of the sequence seen: 0, 1 ($FF) or 2 ($FF $00)
    int m_status = -1;
};

class Console
{
public:
    explicit Console(Chip &chip);
    ~Console();
    Console(const Console &) = delete;
    Console &operator=(const Console &) = delete;

    // Each byte the program sends, when it has been sent.
    void setOutput(std::function<void(std::uint8_t byte, Clock at)> output);
    // Bytes to send to pin 63, back to back at the baud the program sets,
    // once its receive smart pin runs. Bytes nobody reads are lost.
    void send(const std::vector<std::uint8_t> &bytes);
    // Further bytes after those, pulled as they are sent (false at the end).
    void sendFrom(std::function<bool(std::uint8_t &)> source);
    // The status S of $FF $00 S, or -1 while the program has not exited.
    int exitStatus() const;

private:
    struct Tap;
    SerialFeeder &feeder();
    Chip &m_chip;
    // Shared with the chip's transmit listener, which outlives this console.
    std::shared_ptr<Tap> m_tap;
    std::shared_ptr<SerialFeeder> m_feeder;
};

} // namespace kivo::sim
