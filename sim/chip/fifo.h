#pragma once
// A cog's hub FIFO: the sequential read/write path that RDFAST/WRFAST set up,
// that RFxxx/WFxxx use from software and that the streamer uses in its FIFO
// modes (hub exec uses it too on the chip; this simulator's hub exec reads hub
// RAM directly, so a RDFAST in hub exec is the cog's business to refuse).
//
// The model is functional: reads see hub RAM as it is when the data is taken
// from the FIFO (not when the FIFO would have prefetched it), writes reach hub
// RAM at once. Timing follows the instruction table: RDFAST/WRFAST with
// D[31] = 0 wait for a previous WRFAST to finish, and RDFAST then waits
// 10..17 clocks for the first data (10 + the slot wait for the start
// address); with D[31] = 1 they take 2 clocks and data is there 10..17 clocks
// later (an RFxxx before that waits for it). FBLOCK and RFxxx/WFxxx take 2.
//
// Blocks: D[13:0] counts 64-byte blocks (0 = no wrap: the whole 20-bit map).
// When that many bytes have passed, the FIFO reloads the start address and
// block count (those FBLOCK set last, else the RDFAST/WRFAST ones) and the
// FBW event occurs. Addresses count in 20 bits, as the hub map does.
#include "chip/time.h"

#include <cstdint>
#include <functional>

namespace kivo::sim {

class Hub;

class Fifo
{
public:
    enum class Mode { Idle, Read, Write };
    enum class Size { Byte, Word, Long, Var, VarSigned };

    Fifo(Hub &hub, int cog) : m_hub(hub), m_cog(cog) {}

    // Instructions; each returns the clock at which it ends.
    Clock rdfast(std::uint32_t d, std::uint32_t s, Clock now);
    Clock wrfast(std::uint32_t d, std::uint32_t s, Clock now);
    Clock fblock(std::uint32_t d, std::uint32_t s, Clock now);

    struct Read {
        std::uint32_t value = 0;
        bool msb = false; // for WC: the top bit of what was read (RFVAR: 0, RFVARS: its sign)
        Clock done = 0;
    };
    // RFBYTE/RFWORD/RFLONG/RFVAR/RFVARS starting at `now`.
    Read read(Size size, Clock now);
    // WFBYTE/WFWORD/WFLONG (Size::Byte/Word/Long) starting at `now`.
    Clock write(Size size, std::uint32_t value, Clock now);
    // GETPTR: the hub address the next read or write goes to.
    std::uint32_t pointer() const { return m_addr; }

    // The streamer's side: the same data path, no instruction timing.
    std::uint32_t streamRead(Size size, Clock at);
    void streamWrite(Size size, std::uint32_t value, Clock at);

    Mode mode() const { return m_mode; }
    // FBW: how many block wraps so far and when the last one happened.
    std::uint64_t wraps() const { return m_wraps; }
    Clock lastWrap() const { return m_lastWrap; }
    // The clock at which pending writes have reached the hub (WRFAST
    // followed by a self-COGSTOP should wait for it; data is kept anyway).
    Clock writesDone() const { return m_writesDone; }

    // A cog (re)start leaves the FIFO idle.
    void reset();

    // Called with the clock before every instruction-level call changes the
    // FIFO, so that a lazy streamer catches up on its reads first.
    void setSync(std::function<void(Clock)> sync) { m_sync = std::move(sync); }

private:
    void start(Mode mode, std::uint32_t d, std::uint32_t s);
    std::uint32_t take(Size size, Clock at, int *bits);
    std::uint8_t takeByte(Clock at);
    void putByte(std::uint8_t b, Clock at);
    void advance(Clock at);

    void sync(Clock now)
    {
        if (m_sync)
            m_sync(now);
    }

    Hub &m_hub;
    int m_cog;
    std::function<void(Clock)> m_sync;
    Mode m_mode = Mode::Idle;
    std::uint32_t m_addr = 0;       // next byte
    std::uint32_t m_left = 0;       // bytes left in the current blocks (0 = no wrap)
    std::uint32_t m_reloadAddr = 0; // start and block count used on a wrap
    std::uint32_t m_reloadBlocks = 0;
    Clock m_readyAt = 0; // first data available (RDFAST)
    Clock m_writesDone = 0;
    std::uint64_t m_wraps = 0;
    Clock m_lastWrap = 0;
};

} // namespace kivo::sim
