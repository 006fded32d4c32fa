// Events, interrupts, locks, COGATN and LUT sharing between cogs, on programs
// built with the test encoder. Cog 1 runs hub code at $1000 (COGINIT with
// D[5] = 1 starts it there without loading its registers).
#include "chip/chip.h"
#include "p2asm.h"

#include <gtest/gtest.h>

using namespace kivo::sim;
using namespace kivo::test::p2;

namespace {

constexpr std::uint32_t kCog1Code = 0x1000;

// Cog 0's program at $0 and cog 1's at hub $1000 in one image.
std::vector<std::uint8_t> image(const Program &cog0, const std::vector<std::uint32_t> &cog1)
{
    auto bytes = cog0.bytes();
    bytes.resize(kCog1Code + 4 * cog1.size() + 16, 0);
    for (std::size_t i = 0; i < cog1.size(); ++i)
        for (int b = 0; b < 4; ++b)
            bytes[kCog1Code + 4 * i + std::size_t(b)] = std::uint8_t(cog1[i] >> (8 * b));
    return bytes;
}

// COGINIT #%1_0_0001, ##$1000: cog 1 runs the hub code.
void startCog1(Program &p) { p << augs(kCog1Code) << coginit(I(0x21), I(kCog1Code & 0x1FF)); }

// wrlong reg, ##addr
std::vector<std::uint32_t> store(std::uint32_t reg, std::uint32_t addr)
{
    return {augs(addr), wrlong(R(reg), I(addr & 0x1FF))};
}

// When cog 0 acted and when the waiting cog 1 woke. Cog 0's program has just
// read the clock into $120 before its action; cog 1 runs `wait`, then reads
// the clock and stops. A cog that never woke reads 0.
struct WakeClocks {
    std::uint32_t acted = 0, woke = 0;
};

WakeClocks RunWaiter(Program &p, std::vector<std::uint32_t> wait)
{
    for (auto w : store(0x120, 0x900))
        p << w;
    p.finish();
    wait.push_back(getct(0x120));
    for (auto w : store(0x120, 0x904))
        wait.push_back(w);
    wait.push_back(cogstop(I(1)));
    Chip chip;
    EXPECT_TRUE(chip.loadImage(image(p, wait)));
    chip.runUntil(20000);
    return {chip.hub().readLong(0x900), chip.hub().readLong(0x904)};
}

TEST(Interrupts, Ct1InterruptRunsTheIsrAndReturnsToMainCode)
{
    // Main code counts in $120; the ISR counts in $121 and re-arms CT1 every
    // 100 clocks; after 10,000 clocks cog 0 is stopped by the run limit.
    Program p;
    const std::uint32_t isr = 10;
    p << mov(0x1F4, I(isr))           // $000 IJMP1 = isr
      << dForm(sub9::SETINT1, I(1))   // $001 INT1 on CT1
      << getct(0x122)                 // $002
      << addct1(0x122, I(100))        // $003
      << add(0x120, I(1))             // $004 main loop
      << jmpA(0xFFFF8, true)          // $005 jmp #$004 (relative: -2 instructions)
      << NOP << NOP << NOP << NOP     // $006..$009
      << add(0x121, I(1))             // $00A isr
      << addct1(0x122, I(100))        // $00B
      << calld(0x1FF, R(0x1F5), WCZ); // $00C RETI1
    Chip chip;
    ASSERT_TRUE(chip.loadImage(p.bytes()));
    EXPECT_EQ(chip.runUntil(10534), Chip::StopReason::Limit) << chip.faultMessage();
    const std::uint32_t isrRuns = chip.cogRegister(0, 0x121);
    EXPECT_GE(isrRuns, 95u);
    EXPECT_LE(isrRuns, 100u);
    EXPECT_GT(chip.cogRegister(0, 0x120), 1000u); // main code kept running between interrupts
}

TEST(Interrupts, WaitintSleepsUntilTheInterruptHasRun)
{
    Program p;
    p << mov(0x1F4, I(10))           // $000 IJMP1 = $00A
      << dForm(sub9::SETINT1, I(1))  // $001 INT1 on CT1
      << getct(0x122)                // $002
      << addct1(0x122, I(200))       // $003
      << event(16)                   // $004 WAITINT
      << getct(0x123)                // $005
      << jmpA(13, false)             // $006 to the end
      << NOP << NOP << NOP           // $007..$009
      << add(0x121, I(1))            // $00A isr
      << calld(0x1FF, R(0x1F5), WCZ) // $00B RETI1
      << NOP;                        // $00C
    p.finish();                      // $00D..
    Chip chip;
    ASSERT_TRUE(chip.loadImage(p.bytes()));
    EXPECT_EQ(chip.runUntil(100000), Chip::StopReason::AllStopped) << chip.faultMessage();
    EXPECT_EQ(chip.cogRegister(0, 0x121), 1u);
    // ADDCT1 left the target in $122.
    const std::uint32_t slept = chip.cogRegister(0, 0x123) - (chip.cogRegister(0, 0x122) - 200);
    EXPECT_GE(slept, 200u);
    EXPECT_LE(slept, 220u);
}

TEST(Events, EventBranchesTestAndClearTheFlag)
{
    // JNCT1 before the target passes is taken; JCT1 after it is taken and
    // clears the flag, so a POLLCT1 right after reads 0.
    const std::uint32_t jct1 = 0xF0000000u | 0x5Eu << 21 | 1u << 19 | 1u << 18 | 1u << 9;   // JCT1 #S
    const std::uint32_t jnct1 = 0xF0000000u | 0x5Eu << 21 | 1u << 19 | 1u << 18 | 17u << 9; // JNCT1 #S
    Program p;
    p << getct(0x122) << addct1(0x122, I(100)) // $000, $001
      << (jnct1 | 1)                           // $002: not passed yet -> $004
      << mov(0x130, I(1))                      // $003 skipped
      << waitx(I(150))                         // $004
      << (jct1 | 1)                            // $005: passed -> $007
      << mov(0x131, I(1))                      // $006 skipped
      << event(POLLCT1, WC) << wrc(0x132);     // $007, $008
    p.finish();
    Chip chip;
    ASSERT_TRUE(chip.loadImage(p.bytes()));
    EXPECT_EQ(chip.runUntil(20000), Chip::StopReason::AllStopped) << chip.faultMessage();
    EXPECT_EQ(chip.cogRegister(0, 0x130), 0u);
    EXPECT_EQ(chip.cogRegister(0, 0x131), 0u);
    EXPECT_EQ(chip.cogRegister(0, 0x132), 0u);
}

TEST(Events, WaitpatWakesOnAPinPattern)
{
    // Cog 1 waits until pins 8..11 read %0101 (SETPAT with C = 0: port A, Z = 1:
    // equal); cog 0 drives them so at a known clock.
    Program p;
    startCog1(p);
    p << waitx(I(400)) << getct(0x120) << dForm(sub9::DRVH, I(8 | 0 << 6)) << dForm(sub9::DRVH, I(10))
      << dForm(sub9::DRVL, I(9)) << dForm(sub9::DRVL, I(11)) << waitx(I(100));
    // SETPAT ##$F00, ##$500 (EEEE 1011111 1LI), then WAITPAT.
    const WakeClocks t = RunWaiter(
        p, {modcz(0, 0xF), augd(0xF00), augs(0x500), dlsForm(0xBF, I(0xF00 & 0x1FF), I(0x500 & 0x1FF)), event(16 + 8)});
    ASSERT_NE(t.woke, 0u) << "cog 1 never woke";
    EXPECT_GE(t.woke, t.acted + 6);
    EXPECT_LE(t.woke, t.acted + 20);
}

TEST(Events, CogatnWakesAWaitingCog)
{
    Program p;
    startCog1(p);
    p << waitx(I(300)) << getct(0x120) << dForm(sub9::COGATN, I(2)) << waitx(I(100));
    const WakeClocks t = RunWaiter(p, {event(WAITATN)});
    EXPECT_GE(t.woke, t.acted);
    EXPECT_LE(t.woke - t.acted, 12u);
}

TEST(Events, PinEdgeEventWakesWaitse1)
{
    // Cog 1 waits for pin 5 to rise; cog 0 drives it high at a known clock.
    Program p;
    startCog1(p);
    p << waitx(I(400)) << getct(0x120) << dForm(sub9::DRVH, I(5)) << waitx(I(100));
    const WakeClocks t = RunWaiter(p, {dForm(sub9::SETSE1, I(0x40 | 5)), event(16 + 4)});
    ASSERT_NE(t.woke, 0u) << "cog 1 never woke";
    // DRVH reaches the pin 3 clocks on; IN shows it 3 clocks later.
    EXPECT_GE(t.woke, t.acted + 6);
    EXPECT_LE(t.woke, t.acted + 14);
}

// A cog sees IN three clocks late, so an edge on a pin wakes a waiting cog
// three clocks after it happened, however shortly before the wait began:
// cog 0 drives pin 5 high, waits 2 + k clocks, then waits for the rise.
// DRVH's change reaches the pin at its issue + 5, so the cog sees it at +8;
// the WAITSE1 issued at +4 + k finds it there for k = 0..4.
TEST(Events, EdgeJustBeforeTheWaitWakesThreeClocksAfterIt)
{
    std::vector<std::uint32_t> woke;
    for (std::uint32_t k = 0; k <= 5; ++k) {
        Program p;
        p << dForm(sub9::SETSE1, I(0x40 | 5)) << dForm(sub9::DRVH, I(5)) << waitx(I(k)) << event(16 + 4)
          << getct(0x120);
        p.finish();
        Chip chip;
        ASSERT_TRUE(chip.loadImage(p.bytes()));
        chip.runUntil(5000);
        ASSERT_FALSE(chip.cogState(0).running) << "k = " << k << ": the cog never woke";
        woke.push_back(chip.cogRegister(0, 0x120));
    }
    for (std::uint32_t k = 1; k <= 4; ++k)
        EXPECT_EQ(woke[k], woke[0]) << "k = " << k;
    EXPECT_EQ(woke[5], woke[0] + 1);
}

// A cog waiting on a smart pin's IN wakes when another cog's WRPIN, WXPIN,
// WYPIN, AKPIN or RDPIN changes what that IN does, though nothing on the pin
// was due when the wait began. Pin 5 runs an NCO (%00110, output enabled);
// Y = $8000_0000 overflows every second base period.
TEST(Events, AnotherCogsSmartPinWriteWakesAWaitingCog)
{
    constexpr std::uint32_t kNco = 0x4C, kHalf = 0x130; // $130 holds $8000_0000
    const std::uint32_t rises = 0x40 | 5, high = 0xC0 | 5, low = 0x80 | 5;
    struct Row {
        const char *name;
        std::vector<std::uint32_t> setup; // cog 0, before cog 1 starts
        std::vector<std::uint32_t> wait;  // cog 1's event set-up and waits
        std::uint32_t write;              // cog 0, 400 clocks on
    };
    const std::uint32_t waitse1 = event(16 + 4);
    const Row rows[] = {
        // Y = 0 adds nothing; the write starts the count.
        {"WYPIN",
         {wrpin(I(kNco), I(5)), wxpin(I(1), I(5)), wypin(I(0), I(5)), dForm(sub9::DIRH, I(5))},
         {dForm(sub9::SETSE1, I(rises)), waitse1},
         wypin(R(kHalf), I(5))},
        // A base period of 65,536 clocks: the first overflow is far off.
        {"WXPIN",
         {wrpin(I(kNco), I(5)), wxpin(I(0), I(5)), wypin(R(kHalf), I(5)), dForm(sub9::DIRH, I(5))},
         {dForm(sub9::SETSE1, I(rises)), waitse1},
         wxpin(I(1), I(5))},
        // A plain output pin, driven low, turned into the NCO.
        {"WRPIN",
         {wxpin(I(1), I(5)), wypin(R(kHalf), I(5)), dForm(sub9::DIRH, I(5))},
         {dForm(sub9::SETSE1, I(rises)), waitse1},
         wrpin(I(kNco), I(5))},
        // IN rose after 1,000 clocks and stays up until acknowledged.
        {"AKPIN",
         {wrpin(I(kNco), I(5)), wxpin(I(500), I(5)), wypin(R(kHalf), I(5)), dForm(sub9::DIRH, I(5))},
         {dForm(sub9::SETSE1, I(high)), waitse1, dForm(sub9::SETSE1, I(low)), waitse1},
         wrpin(I(1), I(5))},
        {"RDPIN",
         {wrpin(I(kNco), I(5)), wxpin(I(500), I(5)), wypin(R(kHalf), I(5)), dForm(sub9::DIRH, I(5))},
         {dForm(sub9::SETSE1, I(high)), waitse1, dForm(sub9::SETSE1, I(low)), waitse1},
         rdpin(0x131, I(5))},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        Program p;
        p.set(kHalf, 0x80000000u);
        for (auto w : row.setup)
            p << w;
        startCog1(p);
        p << waitx(I(400)) << waitx(I(400)) << waitx(I(400)) << getct(0x120) << row.write << waitx(I(100));
        const WakeClocks t = RunWaiter(p, row.wait);
        ASSERT_NE(t.acted, 0u);
        if (t.woke == 0) {
            ADD_FAILURE() << "cog 1 never woke";
            continue;
        }
        EXPECT_GE(t.woke, t.acted + 6);
        EXPECT_LE(t.woke, t.acted + 16);
    }
}

TEST(Locks, NewTryReleaseAndOwner)
{
    Program p;
    p << dForm(sub9::LOCKNEW, R(0x120), WC) << wrc(0x121)                      // lock 0, C = 0
      << dForm(sub9::LOCKNEW, R(0x122), WC)                                    // lock 1
      << dForm(sub9::LOCKTRY, I(0), WC) << wrc(0x123)                          // got it: C = 1
      << mov(0x124, I(0)) << dForm(sub9::LOCKREL, R(0x124), WC) << wrc(0x125); // was taken, owner 0
    startCog1(p);
    p << waitx(I(0x1FF)) << waitx(I(0x1FF));
    p.finish();
    // Cog 1: LOCKTRY #1 (allocated, free) succeeds; #5 (never allocated) fails.
    std::vector<std::uint32_t> c1 = {dForm(sub9::LOCKTRY, I(1), WC), wrc(0x120), dForm(sub9::LOCKTRY, I(5), WC),
                                     wrc(0x121)};
    for (auto w : store(0x120, 0x900))
        c1.push_back(w);
    for (auto w : store(0x121, 0x904))
        c1.push_back(w);
    c1.push_back(cogstop(I(1)));
    Chip chip;
    ASSERT_TRUE(chip.loadImage(image(p, c1)));
    chip.runUntil(20000);
    EXPECT_EQ(chip.cogRegister(0, 0x120), 0u);
    EXPECT_EQ(chip.cogRegister(0, 0x121), 0u);
    EXPECT_EQ(chip.cogRegister(0, 0x122), 1u);
    EXPECT_EQ(chip.cogRegister(0, 0x123), 1u);
    EXPECT_EQ(chip.cogRegister(0, 0x125), 1u);
    EXPECT_EQ(chip.cogRegister(0, 0x124), 0u);
    EXPECT_EQ(chip.hub().readLong(0x900), 1u);
    EXPECT_EQ(chip.hub().readLong(0x904), 0u);
}

TEST(Lut, PairedCogSharesLutWritesWhenItAllowsThem)
{
    Program p;
    startCog1(p);
    p << waitx(I(300)) << wrlut(I(0x55), I(10)) << waitx(I(100));
    p.finish();
    std::vector<std::uint32_t> c1 = {dForm(sub9::SETLUTS, I(1)), waitx(I(0x1FF)), waitx(I(0x1FF)), cogstop(I(1))};
    Chip chip;
    ASSERT_TRUE(chip.loadImage(image(p, c1)));
    chip.runUntil(20000);
    EXPECT_EQ(chip.lutRegister(0, 10), 0x55u);
    EXPECT_EQ(chip.lutRegister(1, 10), 0x55u);
}

TEST(Lut, ReadsOfASharedLutSeeThePartnersWriteInClockOrder)
{
    // Cog 1 polls LUT $00A until cog 0 writes it, then reads the clock: that
    // is a loop's time after cog 0's write, not wherever cog 1 got ahead to.
    Program p;
    startCog1(p);
    p << waitx(I(300)) << getct(0x120) << wrlut(I(0x55), I(10)) << waitx(I(100));
    p.finish();
    std::vector<std::uint32_t> c1 = {dForm(sub9::SETLUTS, I(1)),
                                     rdlut(0x121, I(10)),  // $1004
                                     tjz(0x121, I(0x1FE)), // back to $1004 while zero
                                     getct(0x122),
                                     waitx(I(0x1FF)),
                                     cogstop(I(1))};
    Chip chip;
    ASSERT_TRUE(chip.loadImage(image(p, c1)));
    chip.runUntil(20000);
    EXPECT_EQ(chip.cogRegister(1, 0x121), 0x55u);
    const std::uint32_t wrote = chip.cogRegister(0, 0x120) + 2, saw = chip.cogRegister(1, 0x122);
    EXPECT_GT(saw, wrote);
    EXPECT_LT(saw - wrote, 60u);
}

TEST(Lut, SetqTwoBlockLoadsLutAndLutExecRuns)
{
    // Copy 3 longs from hub $800 into LUT $000.. ($200.. in PC space) and
    // jump there: the LUT code sets $120 and jumps back to cog $005.
    Program p;
    p << mov(0x130, I(0x100))               // $000 (#$100 in RDLONG would be a PTR expression)
      << setq2(I(2)) << rdlong(0, R(0x130)) // $001, $002: hub $100.. into LUT $000..
      << jmpA(0x200, false)                 // $003
      << NOP                                // $004
      << NOP;                               // $005 (back here)
    p.finish();
    auto bytes = p.bytes();
    bytes.resize(0x200, 0);
    const std::uint32_t lutCode[] = {mov(0x120, I(0x77)), jmpA(5, false), NOP};
    for (std::size_t i = 0; i < 3; ++i)
        for (int b = 0; b < 4; ++b)
            bytes[0x100 + 4 * i + std::size_t(b)] = std::uint8_t(lutCode[i] >> (8 * b));
    Chip chip;
    ASSERT_TRUE(chip.loadImage(bytes));
    EXPECT_EQ(chip.runUntil(20000), Chip::StopReason::AllStopped) << chip.faultMessage();
    EXPECT_EQ(chip.lutRegister(0, 0), lutCode[0]);
    EXPECT_EQ(chip.cogRegister(0, 0x120), 0x77u);
}

TEST(Xbyte, ReturnToThe1ffRunsBytecodesThroughTheLutTable)
{
    // Bytecodes 0, 1, 0, 2, 3 from hub $900; LUT $000..$003 hold the EXECF
    // longs of the routines at $008.. ($008: _ret_ add $130; $009: _ret_ add
    // $131; $00A: _ret_ mov $132, PA; $00B: the end).
    Program p;
    p.set(0x140, 0x800).set(0x141, 0x900);    // $000..$003
    p << setq2(I(3)) << rdlong(0, R(0x140))   // $004, $005
      << dlsForm(0xC7, I(0), R(0x141))        // $006 rdfast #0, $141
      << push(I(0x1FF));                      // $007
    p.code.push_back(cond(RET_, setq(I(0)))); // $008 start XBYTE: 8-bit table at LUT $000
    const std::uint32_t r0 = p.here();
    p << cond(RET_, add(0x130, I(1))) << cond(RET_, add(0x131, I(1))) << cond(RET_, mov(0x132, R(PA)));
    const std::uint32_t end = p.here();
    p.finish();
    auto bytes = p.bytes();
    bytes.resize(0xA00, 0);
    const std::uint32_t table[] = {r0, r0 + 1, r0 + 2, end};
    for (std::size_t i = 0; i < 4; ++i)
        for (int b = 0; b < 4; ++b)
            bytes[0x800 + 4 * i + std::size_t(b)] = std::uint8_t(table[i] >> (8 * b));
    const std::uint8_t codes[] = {0, 1, 0, 2, 3};
    for (std::size_t i = 0; i < sizeof codes; ++i)
        bytes[0x900 + i] = codes[i];
    Chip chip;
    ASSERT_TRUE(chip.loadImage(bytes));
    EXPECT_EQ(chip.runUntil(20000), Chip::StopReason::AllStopped) << chip.faultMessage();
    EXPECT_EQ(chip.cogRegister(0, 0x130), 2u);
    EXPECT_EQ(chip.cogRegister(0, 0x131), 1u);
    EXPECT_EQ(chip.cogRegister(0, 0x132), 2u);
    EXPECT_EQ(chip.cogRegister(0, PB), 0x905u); // the FIFO pointer after the last bytecode
}

} // namespace
