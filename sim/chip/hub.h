#pragma once
// Hub RAM: 512 KB shared by the eight cogs, and the rule that says when a cog
// may reach a given long.
//
// Map (20-bit hub addresses; higher bits are ignored):
//   $00000..$7FFFF  RAM
//   $80000..$FBFFF  nothing: reads give 0, writes are dropped
//   $FC000..$FFFFF  the top 16 KB of RAM again ($7C000..$7FFFF)
// With HUBSET's write protection on, the top 16 KB leave $7C000..$7FFFF (it
// reads 0 and drops writes there, like the empty range) and $FC000..$FFFFF
// is written only from a debug ISR.
//
// Slot rule. RAM is split into eight slices by long address (slice =
// (addr >> 2) & 7). On every clock each cog faces one slice and moves on by
// one slice per clock. This simulator fixes the phase so: at clock t, cog c
// faces slice (t - c) & 7. A single access waits for its slice; a block
// (SETQ) moves one long per clock once aligned. The documentation leaves the
// phase open; the choice only shifts every cog's timing by a constant.
#include "chip/time.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

namespace kivo::sim {

inline constexpr std::uint32_t kHubSize = 0x80000; // bytes of RAM
inline constexpr std::uint32_t kHubAddressMask = 0xFFFFF;

class Hub
{
public:
    Hub() : m_ram(kHubSize + 4, 0) {}

    // Where a hub byte address lands in RAM, or -1 for the empty range.
    static std::int64_t map(std::uint32_t addr)
    {
        addr &= kHubAddressMask;
        if (addr < kHubSize)
            return addr;
        if (addr >= 0xFC000)
            return addr - 0x80000;
        return -1;
    }

    std::uint8_t readByte(std::uint32_t addr) const
    {
        std::int64_t a = map(addr);
        if (m_protected && hidden(addr))
            return 0;
        return a < 0 ? 0 : m_ram[std::size_t(a)];
    }
    void writeByte(std::uint32_t addr, std::uint8_t v)
    {
        std::int64_t a = map(addr);
        if (m_protected && (hidden(addr) || ((addr & kHubAddressMask) >= 0xFC000 && !m_debugWriter)))
            return;
        if (a >= 0)
            m_ram[std::size_t(a)] = v;
    }

    // HUBSET's write protection of the top 16 KB, and whether the cog now
    // running is in a debug ISR (which may write there).
    void setProtected(bool on)
    {
        m_protected = on;
        m_fastEnd = on ? kHubSize - kProtectedBytes : kHubSize;
    }
    bool isProtected() const { return m_protected; }
    void setDebugWriter(bool on) { m_debugWriter = on; }
    // Little-endian; any alignment (each byte is mapped on its own).
    std::uint16_t readWord(std::uint32_t addr) const
    {
        if (fast(addr, 2)) {
            std::uint16_t v;
            std::memcpy(&v, &m_ram[addr & kHubAddressMask], 2);
            return v;
        }
        return std::uint16_t(readByte(addr) | readByte(addr + 1) << 8);
    }
    std::uint32_t readLong(std::uint32_t addr) const
    {
        if (fast(addr, 4)) [[likely]] {
            std::uint32_t v;
            std::memcpy(&v, &m_ram[addr & kHubAddressMask], 4);
            return v;
        }
        return readLongByBytes(addr);
    }
    void writeWord(std::uint32_t addr, std::uint16_t v)
    {
        if (fast(addr, 2)) {
            std::memcpy(&m_ram[addr & kHubAddressMask], &v, 2);
            return;
        }
        writeByte(addr, std::uint8_t(v));
        writeByte(addr + 1, std::uint8_t(v >> 8));
    }
    void writeLong(std::uint32_t addr, std::uint32_t v)
    {
        if (fast(addr, 4)) {
            std::memcpy(&m_ram[addr & kHubAddressMask], &v, 4);
            return;
        }
        for (int i = 0; i < 4; ++i)
            writeByte(addr + std::uint32_t(i), std::uint8_t(v >> (8 * i)));
    }

    // The slice of a byte address.
    static int slice(std::uint32_t addr) { return int((addr >> 2) & 7); }
    // The slice cog `cog` faces at clock `at`.
    static int sliceFacing(int cog, Clock at) { return int((at - Clock(cog)) & 7); }
    // Clocks (0..7) cog `cog` waits from `at` until it faces the slice of `addr`.
    static int slotWait(int cog, std::uint32_t addr, Clock at) { return (slice(addr) - sliceFacing(cog, at)) & 7; }

    // Raw RAM for the loader and for recorders (kHubSize bytes).
    std::uint8_t *data() { return m_ram.data(); }
    const std::uint8_t *data() const { return m_ram.data(); }
    void clear() { std::fill(m_ram.begin(), m_ram.end(), 0); }

private:
    // Out of line, so that the common case inlines where it is used.
    [[gnu::noinline]] std::uint32_t readLongByBytes(std::uint32_t addr) const
    {
        return std::uint32_t(readByte(addr)) | std::uint32_t(readByte(addr + 1)) << 8 |
               std::uint32_t(readByte(addr + 2)) << 16 | std::uint32_t(readByte(addr + 3)) << 24;
    }
    static constexpr std::uint32_t kProtectedBytes = 0x4000;
    bool fast(std::uint32_t addr, std::uint32_t n) const { return (addr & kHubAddressMask) + n <= m_fastEnd; }
    static bool hidden(std::uint32_t addr)
    {
        addr &= kHubAddressMask;
        return addr >= kHubSize - kProtectedBytes && addr < kHubSize;
    }
    std::vector<std::uint8_t> m_ram;
    std::uint32_t m_fastEnd = kHubSize;
    bool m_protected = false;
    bool m_debugWriter = false;
};

} // namespace kivo::sim
