#include "chip/fifo.h"
#include "chip/hub.h"

#include <gtest/gtest.h>

#include <vector>

using kivo::sim::Clock;
using kivo::sim::Fifo;
using kivo::sim::Hub;

namespace {

struct FifoFixture : ::testing::Test {
    Hub hub;
    Fifo fifo{hub, 0};
    void put(std::uint32_t addr, const std::vector<std::uint8_t> &bytes)
    {
        for (std::size_t i = 0; i < bytes.size(); ++i)
            hub.writeByte(addr + std::uint32_t(i), bytes[i]);
    }
};

} // namespace

TEST_F(FifoFixture, ReadsSizesInHubOrderWithTheirFlags)
{
    put(0x1001, {0x81, 0x34, 0x12, 0x78, 0x56, 0x34, 0xF2, 0x00, 0x00});
    fifo.rdfast(0, 0x1001, 0); // unaligned start: fine without wrapping
    struct Step {
        Fifo::Size size;
        std::uint32_t value;
        bool msb;
    } steps[] = {
        {Fifo::Size::Byte, 0x81, true},
        {Fifo::Size::Word, 0x1234, false},
        {Fifo::Size::Long, 0xF2345678, true},
        {Fifo::Size::Word, 0x0000, false},
    };
    Clock t = 100;
    for (const Step &s : steps) {
        Fifo::Read r = fifo.read(s.size, t);
        EXPECT_EQ(r.value, s.value);
        EXPECT_EQ(r.msb, s.msb);
        EXPECT_EQ(r.done, t + 2);
        t = r.done;
    }
    EXPECT_EQ(fifo.pointer(), 0x100Au); // GETPTR: the next byte
}

TEST_F(FifoFixture, VariableLengthReads)
{
    struct Case {
        std::vector<std::uint8_t> bytes;
        std::uint32_t rfvar, rfvars;
        bool c;             // RFVARS WC: the field's sign bit (RFVAR gives C = 0: its result is zero-extended)
        std::uint32_t next; // bytes used
    } cases[] = {
        {{0x05}, 0x05, 0x05, false, 1},
        {{0x40}, 0x40, 0xFFFFFFC0, true, 1},
        {{0x7F}, 0x7F, 0xFFFFFFFF, true, 1},
        {{0xC0, 0x00}, 0x40, 0x40, false, 2}, // bit 6 set but the sign is bit 13
        {{0x80, 0x40}, 0x2000, 0xFFFFE000, true, 2},
        {{0xFF, 0xFF, 0x3F}, 0x0FFFFF, 0x0FFFFF, false, 3},
        {{0x81, 0x82, 0x83, 0x84}, 0x1080C101, 0xF080C101, true, 4},
        {{0xFF, 0xFF, 0xFF, 0x7F}, 0x0FFFFFFF, 0x0FFFFFFF, false, 4},
    };
    for (const Case &c : cases) {
        for (bool sign : {false, true}) {
            put(0x2000, c.bytes);
            hub.writeByte(0x2000 + std::uint32_t(c.bytes.size()), 0x55);
            fifo.rdfast(0, 0x2000, 0);
            Fifo::Read r = fifo.read(sign ? Fifo::Size::VarSigned : Fifo::Size::Var, 100);
            EXPECT_EQ(r.value, sign ? c.rfvars : c.rfvar) << c.bytes.size() << " bytes, signed " << sign;
            EXPECT_EQ(r.msb, sign && c.c) << c.bytes.size() << " bytes, signed " << sign;
            EXPECT_EQ(fifo.pointer(), 0x2000 + c.next);
            EXPECT_EQ(fifo.read(Fifo::Size::Byte, r.done).value, 0x55u);
        }
    }
}

TEST_F(FifoFixture, BlocksWrapAndReloadWhatFblockSet)
{
    for (std::uint32_t i = 0; i < 256; ++i)
        hub.writeByte(0x4000 + i, std::uint8_t(i));
    fifo.rdfast(1, 0x4000, 0); // one 64-byte block
    std::uint32_t last = 0;
    for (int i = 0; i < 16; ++i)
        last = fifo.read(Fifo::Size::Long, 100 + Clock(i) * 2).value;
    EXPECT_EQ(last, 0x3F3E3D3Cu);
    EXPECT_EQ(fifo.wraps(), 1u);
    EXPECT_EQ(fifo.lastWrap(), 130u);
    EXPECT_EQ(fifo.pointer(), 0x4000u);
    // FBLOCK: the next wrap goes to two blocks at $4080.
    fifo.fblock(2, 0x4080, 200);
    for (int i = 0; i < 16; ++i)
        fifo.read(Fifo::Size::Long, 300);
    EXPECT_EQ(fifo.wraps(), 2u);
    EXPECT_EQ(fifo.read(Fifo::Size::Long, 400).value, 0x83828180u);
    for (int i = 0; i < 31; ++i)
        fifo.read(Fifo::Size::Long, 400);
    EXPECT_EQ(fifo.wraps(), 3u);
    EXPECT_EQ(fifo.pointer(), 0x4080u); // FBLOCK's values stay the reload ones

    // Writing wraps the same way; the data is in hub RAM at once.
    fifo.wrfast(1, 0x6000, 1000);
    for (std::uint32_t i = 0; i < 17; ++i)
        fifo.write(Fifo::Size::Long, 0x01010101u * (i + 1), 1002 + i * 2);
    EXPECT_EQ(hub.readLong(0x6000), 0x11111111u); // the 17th long went to the start again
    EXPECT_EQ(hub.readLong(0x6004), 0x02020202u);
    EXPECT_EQ(hub.readLong(0x603C), 0x10101010u);
    EXPECT_EQ(hub.readLong(0x6040), 0u);
    EXPECT_EQ(fifo.wraps(), 4u);
}

TEST_F(FifoFixture, AddressesRunThroughTheHubMap)
{
    put(0x7FFFE, {0xAA, 0xBB});
    put(0x7C000, {0xCC});
    fifo.rdfast(0, 0x7FFFE, 0);
    EXPECT_EQ(fifo.read(Fifo::Size::Word, 100).value, 0xBBAAu);
    EXPECT_EQ(fifo.read(Fifo::Size::Byte, 102).value, 0u); // $80000: nothing there
    fifo.rdfast(0, 0xFFFFF, 200);
    EXPECT_EQ(fifo.read(Fifo::Size::Byte, 300).value, 0xBBu); // $FFFFF mirrors $7FFFF
    EXPECT_EQ(fifo.pointer(), 0u);                            // 20-bit wrap
    fifo.rdfast(0, 0xFC000, 400);
    EXPECT_EQ(fifo.read(Fifo::Size::Byte, 500).value, 0xCCu); // the top 16 KB mirror
}

TEST_F(FifoFixture, SetupTiming)
{
    // Waiting RDFAST: 10 + the slot wait for the start address (10..17).
    for (std::uint32_t slice = 0; slice < 8; ++slice) {
        const Clock done = fifo.rdfast(0, 0x1000 + slice * 4, 800);
        EXPECT_EQ(done, 800 + 10 + Clock(Hub::slotWait(0, 0x1000 + slice * 4, 800)));
        EXPECT_GE(done - 800, 10u);
        EXPECT_LE(done - 800, 17u);
    }
    // No-wait RDFAST: 2 clocks, and an early RFxxx waits for the data.
    const Clock early = fifo.rdfast(0x80000000u, 0x1000, 800);
    EXPECT_EQ(early, 802u);
    Fifo::Read r = fifo.read(Fifo::Size::Long, early);
    EXPECT_EQ(r.done, 800 + 10 + Clock(Hub::slotWait(0, 0x1000, 800)) + 2);
    // After writes, WRFAST and RDFAST wait for them to reach the hub.
    fifo.wrfast(0, 0x2000, 900);
    const Clock w = fifo.write(Fifo::Size::Long, 1, 902);
    EXPECT_EQ(w, 904u);
    EXPECT_GT(fifo.writesDone(), 904u);
    EXPECT_EQ(fifo.wrfast(0, 0x3000, 904), fifo.writesDone() + 3);
    EXPECT_EQ(fifo.wrfast(0x80000000u, 0x3000, 904), 906u);
    EXPECT_GE(fifo.rdfast(0, 0x3000, 904), fifo.writesDone() + 10);
    EXPECT_EQ(fifo.fblock(1, 0, 2000), 2002u);
    fifo.reset();
    EXPECT_EQ(fifo.mode(), Fifo::Mode::Idle);
}

// The FIFO as a program on the chip uses it: RDFAST, RFLONG/RFVAR/RFBYTE WC,
// GETPTR, WRFAST and WFLONG/WFBYTE, from hand-encoded instructions.
#include "chip/chip.h"
#include "p2asm.h"

TEST(FifoProgram, ReadsAndWritesHubThroughTheInstructions)
{
    using namespace kivo::test::p2;
    constexpr std::uint32_t kTable = 0x2000, kOut = 0x3000;
    Program p;
    p.set(0x120, kTable) << dlsForm(0xC7, I(0), R(0x120))         // rdfast #0, $120
                         << dForm(0x012, R(0x100))                // rflong $100
                         << dForm(0x013, R(0x101))                // rfvar $101
                         << dForm(0x010, R(0x102), WC)            // rfbyte $102 wc
                         << wrc(0x103) << dForm(0x034, R(0x104)); // getptr $104
    p.set(0x121, kOut) << dlsForm(0xC8, I(0), R(0x121))           // wrfast #0, $121
                       << dForm(0x017, R(0x100))                  // wflong $100
                       << dForm(0x015, I(0x5A))                   // wfbyte #$5A
                       << waitx(I(20));
    p.finish();
    std::vector<std::uint8_t> image = p.bytes();
    image.resize(kOut + 16, 0);
    const std::uint8_t table[] = {0x78, 0x56, 0x34, 0x12, 0x81, 0x02, 0x80};
    std::copy(std::begin(table), std::end(table), image.begin() + kTable);

    kivo::sim::Chip chip;
    ASSERT_TRUE(chip.loadImage(image));
    chip.runUntil(20000);
    EXPECT_FALSE(chip.cogRunning(0)) << chip.faultMessage();
    EXPECT_EQ(chip.cogRegister(0, 0x100), 0x12345678u);
    EXPECT_EQ(chip.cogRegister(0, 0x101), 0x101u); // %1_0000001, %0_0000010
    EXPECT_EQ(chip.cogRegister(0, 0x102), 0x80u);
    EXPECT_EQ(chip.cogRegister(0, 0x103), 1u); // C = the byte's top bit
    EXPECT_EQ(chip.cogRegister(0, 0x104), kTable + 7);
    EXPECT_EQ(chip.hub().readLong(kOut), 0x12345678u);
    EXPECT_EQ(chip.hub().readByte(kOut + 4), 0x5A);
}
