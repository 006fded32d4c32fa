// Chip behaviour the silicon documentation spells out and that is easy to
// leave out: XORO32, GETRND's flag form, the random seed, HUBSET's clock
// limit, write protection and the debug interrupt, and bounded bookkeeping
// for programs that change pins or the clock on every instruction.
#include "chip/chip.h"
#include "chip/isa.h"
#include "chip/pins.h"
#include "p2asm.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

using namespace kivo::sim;
using namespace kivo::test::p2;

namespace {

constexpr std::uint32_t RD = 0x100, RX = 0x101, RY = 0x102, RZ = 0x103;

std::unique_ptr<Chip> run(const Program &p, Clock limit = 200000, std::vector<std::uint8_t> image = {})
{
    auto chip = std::make_unique<Chip>();
    std::vector<std::uint8_t> bytes = p.bytes();
    if (image.size() > bytes.size())
        std::copy(bytes.begin(), bytes.end(), image.begin());
    else
        image = bytes;
    std::string error;
    EXPECT_TRUE(chip->loadImage(image, &error)) << error;
    chip->runUntil(limit);
    return chip;
}

inline std::uint32_t xoro32(std::uint32_t d) { return dForm(0x068, R(d)); }
inline std::uint32_t muxq(std::uint32_t d, Opnd s) { return grp(op9::MUXQ, d, s); }

TEST(ChipDocs, Xoro32StepsTheStateAndHandsItsValueToTheNextS)
{
    // The silicon document's xoroshiro32++ (two steps, low word first); seed 1
    // gives the state $8490_8405 and the value $6269_0201. The value goes to
    // the next instruction's S and to Q.
    Program p;
    p.set(RD, 1).set(RZ, 0);
    p << xoro32(RD) << mov(RX, R(RY)); // RX = the value, not RY
    p << mov(RY, R(RD));
    p << xoro32(RD) << NOP; // the value passes to a NOP and is gone
    p << augs(0xFFFFFFFF) << muxq(RZ, I(0x1FF));
    p.finish();
    auto chip = run(p);
    EXPECT_FALSE(chip->cogRunning(0)) << chip->faultMessage();
    EXPECT_EQ(chip->cogRegister(0, RX), 0x62690201u);
    EXPECT_EQ(chip->cogRegister(0, RY), 0x84908405u);
    EXPECT_EQ(chip->cogRegister(0, RD), 0xDFDA9401u);
    EXPECT_EQ(chip->cogRegister(0, RZ), 0x12A2AE16u); // Q, by MUXQ
}

TEST(ChipDocs, GetrndFlagFormRunsAndLeavesRegistersAlone)
{
    // GETRND WC/WZ/WCZ is EEEE 1101011 CZ1 000000000 000011011: C = RND[31],
    // Z = RND[30], nothing written (its D field is register $000, this code).
    constexpr std::uint32_t kGetrndWc = 0xFD74001Bu, kGetrndWcz = 0xFD7C001Bu;
    EXPECT_EQ(kivo::sim::decode(kGetrndWcz), kivo::sim::Op::GETRND_CZ);
    Program p;
    p.set(RX, 0).set(RY, 0);
    const std::uint32_t loop = p.here();
    p << kGetrndWc << alu(op::ADDX, RX, I(0)) // RX counts the C = 1 draws of 128
      << kGetrndWcz << alu(op::ADDX, RX, I(0)) << djnz(RZ, I((loop - p.here() - 1) & 0x1FF));
    p.finish();
    p.code.insert(p.code.begin(), mov(RZ, I(64)));
    auto chip = run(p);
    EXPECT_FALSE(chip->cogRunning(0)) << chip->faultMessage();
    EXPECT_EQ(chip->faultMessage(), "");
    EXPECT_EQ(chip->cogRegister(0, 0), mov(RZ, I(64)));
    EXPECT_GT(chip->cogRegister(0, RX), 32u);
    EXPECT_LT(chip->cogRegister(0, RX), 96u);
}

TEST(ChipDocs, SeedMakesRandomRunsRepeatOrDiffer)
{
    // GETRND from two cogs' view (cog 0's share) and DRVRND on 32 pins.
    Program p;
    p << dForm(sub9::GETRND, R(RX)) << dForm(sub9::GETRND, R(RY));
    p << setq(I(31)) << dForm(0x05E, I(0)) // drvrnd #0 with SETQ: pins 0..31
      << mov(RZ, R(OUTA));
    p.finish();
    auto draws = [&](std::int64_t seed) {
        auto chip = std::make_unique<Chip>();
        if (seed >= 0)
            chip->setSeed(std::uint64_t(seed));
        EXPECT_TRUE(chip->loadImage(p.bytes()));
        chip->runUntil(10000);
        return std::vector<std::uint32_t>{chip->cogRegister(0, RX), chip->cogRegister(0, RY), chip->cogRegister(0, RZ)};
    };
    EXPECT_EQ(draws(-1), draws(-1)); // no seed: the same every time
    EXPECT_EQ(draws(7), draws(7));
    const auto a = draws(7), b = draws(8), none = draws(-1);
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_NE(a[i], b[i]) << i;
        EXPECT_NE(a[i], none[i]) << i;
    }
}

TEST(ChipDocs, PllAboveTheChipsLimitIsRefused)
{
    // 20 MHz crystal: /1 x1024 = 20.48 GHz and /2 x36 = 360 MHz are refused;
    // /2 x35 = 350 MHz, the document's ceiling, runs.
    struct Case {
        std::uint32_t mode;
        bool runs;
        double hz;
    } cases[] = {
        {0x0103FFFBu, false, 20e6},
        {0x010423FBu, false, 20e6},
        {0x010422FBu, true, 350e6},
        {0x0104220Bu, true, 175e6}, // the same VCO divided by 2
    };
    for (const Case &k : cases) {
        Program p;
        p << augd(k.mode) << dForm(sub9::HUBSET, I(k.mode & 0x1FF)) << waitx(I(100));
        auto chip = run(p, 1000);
        EXPECT_EQ(chip->faultMessage().empty(), k.runs) << std::hex << k.mode << ": " << chip->faultMessage();
        EXPECT_DOUBLE_EQ(chip->clockHz(), k.hz) << std::hex << k.mode;
        if (!k.runs) {
            EXPECT_NE(chip->faultMessage().find("350 MHz"), std::string::npos) << chip->faultMessage();
        }
    }
}

TEST(ChipDocs, PinAndClockChangesOnEveryInstructionKeepBookkeepingSmall)
{
    // REP of one DRVNOT: a pin write every 2 clocks, nobody reading the pins.
    Program p;
    p << rep(I(1), I(0)) << dForm(sub9::DRVNOT, I(0));
    auto pins = run(p, 2000000);
    EXPECT_EQ(pins->faultMessage(), "");
    EXPECT_LT(pins->pins().queuedWrites(), 20000u);
    // HUBSET switching between RCFAST and RCSLOW in a loop.
    Program q;
    q << dForm(sub9::HUBSET, I(0)) << dForm(sub9::HUBSET, I(1)) << jmpA(0, false);
    auto clock = run(q, 2000000);
    EXPECT_EQ(clock->faultMessage(), "");
    EXPECT_LE(clock->time().segmentCount(), 2 * TimeBase::kExactSegments);
    EXPECT_GT(clock->seconds(), 2000000 / 20e6); // mostly at 20 kHz
}

TEST(ChipDocs, PinOutputChangesThreeClocksAfterTheInstructionEnds)
{
    // The silicon document's timing diagrams: DRVH issued at clock 0 drives
    // the pin from clock 5; TESTB INA sees the pin as of 3 clocks before it
    // starts, TESTP as of 2. So with WAITX #w in between, TESTB sees the new
    // level from w = 4 on and TESTP from w = 3 on.
    for (std::uint32_t w = 0; w <= 6; ++w) {
        for (const bool testp : {false, true}) {
            Program p;
            p << dForm(sub9::DRVH, I(0)) << waitx(I(w));
            p << (testp ? dForm(sub9::TESTP, I(0), WC) : dsForm(op::TESTB, 0x1FE, I(0), WC));
            p.finish();
            auto chip = run(p, 1000);
            EXPECT_EQ(chip->cogRegister(0, 0x1EE) != 0, w >= (testp ? 3u : 4u))
                << (testp ? "TESTP" : "TESTB INA") << " after WAITX #" << w;
        }
    }
    // The wire by the clock: high from three clocks after the instruction
    // ends, for a pin instruction, a register write and a hub read (which
    // ends when its long arrives).
    constexpr std::uint32_t kOne = 0x800;
    struct Case {
        const char *name;
        std::uint32_t instr;
    } cases[] = {
        {"DRVH", dForm(sub9::DRVH, I(0))},
        {"MOV OUTA", mov(OUTA, I(1))},
        {"RDLONG OUTA", rdlong(OUTA, R(RX))},
    };
    for (const Case &k : cases) {
        Program p;
        p.set(RX, kOne);
        p << dForm(sub9::DIRH, I(0)) << waitx(I(20));
        const std::uint32_t at = p.here();
        p << k.instr << waitx(I(50)) << waitx(I(50));
        std::vector<std::uint8_t> image = p.bytes();
        image.resize(kOne + 4, 0);
        image[kOne] = 1;
        Clock issued = kNever, ended = kNever;
        {
            Chip chip;
            chip.setTraceHook([&](const TraceEntry &e) {
                if (e.pc == at)
                    issued = e.clock;
                else if (e.pc == at + 1)
                    ended = e.clock;
            });
            ASSERT_TRUE(chip.loadImage(image));
            chip.runUntil(1000);
            ASSERT_NE(ended, kNever) << k.name;
        }
        if (std::string(k.name) == "DRVH") {
            EXPECT_EQ(ended, issued + 2);
        }
        for (const Clock after : {Clock(2), Clock(3)}) {
            Chip chip;
            ASSERT_TRUE(chip.loadImage(image));
            chip.runUntil(ended + after);
            EXPECT_EQ(chip.pins().level(0), after == 3) << k.name << ": end + " << after;
        }
    }
}

TEST(ChipDocs, SmartPinRunsForAWypinRightAfterDirh)
{
    // DIR releases the smart pin's reset ahead of the pad, so the WYPIN
    // right after DIRH (or a reset pulse) starts a transmission.
    constexpr std::uint32_t kAsyncTx = 0x7C; // %01 (output on) %11110
    struct Case {
        const char *name;
        std::vector<std::uint32_t> enable;
    } cases[] = {
        {"DIRH", {dForm(sub9::DIRH, I(3))}},
        {"DRVL", {dForm(sub9::DRVL, I(3))}},
        {"DIRL then DIRH", {dForm(sub9::DIRH, I(3)), waitx(I(40)), dForm(sub9::DIRL, I(3)), dForm(sub9::DIRH, I(3))}},
    };
    for (const Case &k : cases) {
        Program p;
        p.set(RX, 0x00080007); // 8 clocks a bit, 8 bits
        p << wrpin(I(kAsyncTx), I(3)) << wxpin(R(RX), I(3));
        for (std::uint32_t w : k.enable)
            p << w;
        p << wypin(I(0x5A), I(3));
        p << jmpA(p.here(), false); // and stay
        Chip chip;
        std::vector<std::uint32_t> sent;
        chip.pins().onAsyncTx([&](int pin, std::uint32_t word, int, Clock) {
            if (pin == 3)
                sent.push_back(word);
        });
        ASSERT_TRUE(chip.loadImage(p.bytes()));
        chip.runUntil(2000);
        EXPECT_EQ(sent, std::vector<std::uint32_t>{0x5A}) << k.name;
    }
}

// Clocks of `instr` run after a JMP and the instructions `before`, in hub
// exec (from hub $1000) or cog exec; RX holds `addr`.
int clocksOf(std::uint32_t instr, std::uint32_t addr, const std::vector<std::uint32_t> &before, bool hubExec)
{
    Program p;
    p.set(RX, addr);
    p << jmpA(hubExec ? 0x1000 : p.here() + 1, false);
    const std::uint32_t nops = std::uint32_t(before.size());
    std::vector<std::uint32_t> body = before;
    body.push_back(instr);
    body.push_back(NOP);
    body.push_back(cogstop(I(0)));
    const std::uint32_t at = hubExec ? 0x1000 + 4 * nops : p.here() + nops;
    std::vector<std::uint8_t> image;
    if (!hubExec)
        for (std::uint32_t w : body)
            p << w;
    image = p.bytes();
    image.resize(0x1100, 0);
    if (hubExec)
        for (std::size_t i = 0; i < body.size(); ++i)
            for (int b = 0; b < 4; ++b)
                image[0x1000 + 4 * i + std::size_t(b)] = std::uint8_t(body[i] >> (8 * b));
    Chip chip;
    Clock start = kNever, next = kNever;
    chip.setTraceHook([&](const TraceEntry &e) {
        if (start != kNever && next == kNever)
            next = e.clock;
        else if (e.pc == at && start == kNever)
            start = e.clock;
    });
    EXPECT_TRUE(chip.loadImage(image));
    chip.runUntil(5000);
    EXPECT_EQ(chip.faultMessage(), "");
    return start != kNever && next != kNever ? int(next - start) : -1;
}

TEST(ChipDocs, HubExecFifoRefillsSlowHubReadsAndWrites)
{
    // The instruction sheet: RDLONG 9..16 clocks in cog exec, 9..26 in hub
    // exec; WRLONG 3..10 and 3..20. In hub exec the FIFO's refills take the
    // hub window first. Over every slice and the first instructions after a
    // branch, both ranges are met end to end.
    struct Case {
        const char *name;
        std::uint32_t instr;
        int cogLo, cogHi, hubLo, hubHi;
    } cases[] = {
        {"RDLONG", rdlong(RY, R(RX)), 9, 16, 9, 26},
        {"WRLONG", wrlong(R(RY), R(RX)), 3, 10, 3, 20},
    };
    for (const Case &k : cases) {
        int lo[2] = {1 << 20, 1 << 20}, hi[2] = {0, 0};
        for (std::uint32_t slice = 0; slice < 8; ++slice) {
            for (std::uint32_t nops = 0; nops < 12; ++nops) {
                for (const bool hub : {false, true}) {
                    const int c = clocksOf(k.instr, 0x4000 + 4 * slice, std::vector<std::uint32_t>(nops, NOP), hub);
                    lo[hub] = std::min(lo[hub], c);
                    hi[hub] = std::max(hi[hub], c);
                }
            }
        }
        EXPECT_EQ(lo[0], k.cogLo) << k.name;
        EXPECT_EQ(hi[0], k.cogHi) << k.name;
        EXPECT_EQ(lo[1], k.hubLo) << k.name << " in hub exec";
        EXPECT_EQ(hi[1], k.hubHi) << k.name << " in hub exec";
    }
    // Once the FIFO is full and idle (after a long WAITX), a read costs what
    // it does in cog exec: one clock more per slice it waits for.
    std::vector<int> idle;
    for (std::uint32_t slice = 0; slice < 8; ++slice)
        idle.push_back(clocksOf(rdlong(RY, R(RX)), 0x4000 + 4 * slice, {waitx(I(100))}, true));
    std::sort(idle.begin(), idle.end());
    EXPECT_EQ(idle, (std::vector<int>{9, 10, 11, 12, 13, 14, 15, 16}));
}

std::uint32_t hubset(std::uint32_t d) { return dForm(sub9::HUBSET, I(d & 0x1FF)); }

TEST(ChipDocs, HubsetWriteProtectsTheLast16k)
{
    // W = 1: $7C000.. disappears (reads 0, writes dropped) and $FC000.. is
    // read-only outside a debug ISR; W = 0 undoes it unless L locked it.
    Program p;
    p.set(RX, 0x7C000).set(RY, 0xFC000).set(RZ, 0x11);
    p << wrlong(R(RZ), R(RX));
    p << augd(0x20010000) << hubset(0x20010000);
    p << rdlong(0x110, R(RX)) << rdlong(0x111, R(RY));
    p << wrlong(I(0x22), R(RY)) << wrlong(I(0x33), R(RX)) << rdlong(0x112, R(RY));
    p << augd(0x20030000) << hubset(0x20030000); // lock it
    p << augd(0x20000000) << hubset(0x20000000); // ignored
    p << wrlong(I(0x44), R(RY)) << rdlong(0x113, R(RX));
    p.finish();
    auto chip = run(p);
    EXPECT_EQ(chip->faultMessage(), "");
    EXPECT_EQ(chip->cogRegister(0, 0x110), 0u);
    EXPECT_EQ(chip->cogRegister(0, 0x111), 0x11u);
    EXPECT_EQ(chip->cogRegister(0, 0x112), 0x11u);
    EXPECT_EQ(chip->cogRegister(0, 0x113), 0u);
    EXPECT_EQ(chip->hub().data()[0x7C000], 0x11);
    // Unprotected again (no lock): both ranges read and write.
    Program q;
    q.set(RX, 0x7C000).set(RY, 0xFC000);
    q << augd(0x20010000) << hubset(0x20010000) << augd(0x20000000) << hubset(0x20000000);
    q << wrlong(I(0x55), R(RY)) << rdlong(0x110, R(RX));
    q.finish();
    EXPECT_EQ(run(q)->cogRegister(0, 0x110), 0x55u);
}

TEST(ChipDocs, DebugInterruptOnCoginitAndBrk)
{
    // HUBSET enables cog 1's debug interrupt; cog 0 starts cog 1. Its first
    // debug ISR runs the ROM entry ($1F8: save $000..$00F at $FFF00, load the
    // debugger from $FFF40), which counts its entries, keeps GETBRK WCZ and
    // IRET0, arms the BRK trigger and leaves through the ROM exit ($1FD). The
    // program's BRK #$42 then enters it again.
    constexpr std::uint32_t kCog1 = 0x2000, kDebugger = 0x7FF40;
    Program main;
    main.set(RX, kCog1);
    main << augd(0x20000002) << hubset(0x20000002) << coginit(I(1), R(RX)) << cogstop(I(0));
    Program cog1;
    cog1 << mov(0x1A0, I(1)) << dForm(0x036, I(0x42)) << mov(0x1A1, I(2)) << waitx(I(100)) << cogstop(I(1));
    const std::uint32_t debugger[] = {
        add(0x1B0, I(1)),        grp(op9::ALTD, 0x1B0, I(0x1B0)),
        dForm(0x035, R(0), WCZ), // getbrk 0 wcz (into $1B0 + entries)
        mov(0x1B8, R(0x1FF)),    // IRET0
        dForm(0x036, I(0x10)),   // brk #%1_0000: the next BRK interrupts
        jmpA(0x1FD, false),      // the ROM exit
    };
    std::vector<std::uint8_t> image(0x80000, 0);
    auto put = [&](std::uint32_t at, std::uint32_t w) {
        for (int b = 0; b < 4; ++b)
            image[at + std::uint32_t(b)] = std::uint8_t(w >> (8 * b));
    };
    for (std::size_t i = 0; i < cog1.code.size(); ++i)
        put(kCog1 + 4 * std::uint32_t(i), cog1.code[i]);
    for (std::size_t i = 0; i < std::size(debugger); ++i)
        put(kDebugger + 4 * std::uint32_t(i), debugger[i]);
    auto chip = run(main, 20000, image);
    EXPECT_EQ(chip->faultMessage(), "");
    EXPECT_EQ(chip->cogRegister(1, 0x1B0), 2u);          // two entries
    EXPECT_EQ(chip->cogRegister(1, 0x1B1), 0x00800000u); // from COGINIT
    EXPECT_EQ(chip->cogRegister(1, 0x1B2), 0x42000000u); // BRK's code
    EXPECT_EQ(chip->cogRegister(1, 0x1B8), 2u);          // back to after the BRK
    EXPECT_EQ(chip->cogRegister(1, 0x1A0), 1u);          // the program ran on, its registers restored
    EXPECT_EQ(chip->cogRegister(1, 0x1A1), 2u);
    EXPECT_EQ(chip->cogRegister(1, 0), cog1.code[0]);
    EXPECT_EQ(chip->hub().readLong(0xFFF00), cog1.code[0]); // the ROM's save area
    EXPECT_FALSE(chip->cogRunning(1));
}

} // namespace
