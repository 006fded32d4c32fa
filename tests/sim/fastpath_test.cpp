// The cogs' fast path against the step-by-step path: a trace hook makes
// every instruction take the step-by-step path, so a program run with and
// without one must end in the same state, clock for clock.
#include "chip/chip.h"
#include "chip/isa.h"
#include "p2asm.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace kivo::sim;
using namespace kivo::test::p2;

namespace {

// A hub image written long by long; cog 0 loads $000..$1F7 from hub $0, so
// cog 0's register r is the long at hub 4 * r.
struct Image {
    std::vector<std::uint32_t> longs = std::vector<std::uint32_t>(0x6000 / 4, 0);
    std::uint32_t at = 0; // byte address of the next long
    Image &org(std::uint32_t addr)
    {
        at = addr;
        return *this;
    }
    Image &operator<<(std::uint32_t instr)
    {
        longs[at / 4] = instr;
        at += 4;
        return *this;
    }
    // mov d, ##v
    Image &set(std::uint32_t d, std::uint32_t v) { return *this << augs(v) << mov(d, I(v & 0x1FF)); }
    // A relative #S branch back to `target` from the long being written next.
    std::uint32_t back(std::uint32_t target) const
    {
        return std::uint32_t(std::int32_t(target - (at + 4)) / 4) & 0x1FF;
    }
    std::vector<std::uint8_t> bytes() const { return ImageBytes(longs); }
};

struct Outcome {
    Chip::StopReason stop{};
    Clock now = 0;
    std::uint64_t instructions = 0;
    std::vector<std::uint8_t> hub;
    std::vector<std::uint32_t> cogs; // per cog: running, PC, C, Z, registers, LUT
};

Outcome runIt(const Image &image, bool stepByStep, Clock limit)
{
    Chip chip;
    EXPECT_TRUE(chip.loadImage(image.bytes()));
    if (stepByStep)
        chip.setTraceHook([](const TraceEntry &) {});
    Outcome o;
    o.stop = chip.runUntil(limit);
    o.now = chip.now();
    o.instructions = chip.instructions();
    o.hub.assign(chip.hub().data(), chip.hub().data() + kHubSize);
    for (int c = 0; c < 8; ++c) {
        const CogState s = chip.cogState(c);
        o.cogs.insert(o.cogs.end(), {s.running, s.pc, s.c, s.z});
        for (std::uint32_t a = 0; a < 0x200; ++a)
            o.cogs.insert(o.cogs.end(), {chip.cogRegister(c, a), chip.lutRegister(c, a)});
    }
    return o;
}

// Hub exec: a loop that rewrites one of its own instructions just before it
// runs, jumps to and from code 16 KB away (which the hub-exec decode cache
// keeps in the same entries) and calls a routine in cog RAM, logging the
// clock and its sum.
Image selfModifyingHubCode()
{
    Image m;
    m.longs[0x110] = add(0x104, I(3));
    m.longs[0x111] = sub(0x104, I(1));
    m.longs[0x101] = 40;
    m.longs[0x120] = 0x1010; // the long the loop rewrites
    m.longs[0x121] = 0x3000; // the log
    m << jmpA(0x1000, false);
    m.org(0x1000) << mov(PTRA, R(0x121));
    const std::uint32_t loop = m.at;
    m << getct(0x102) << wrlong(R(0x102), ptrPost(false, 1)) << wrlong(R(0x110), R(0x120));
    m << NOP; // $1010, rewritten
    m << mov(0x112, R(0x110)) << mov(0x110, R(0x111)) << mov(0x111, R(0x112)) << wrlong(R(0x104), ptrPost(false, 1))
      << callA(0x080, false) << jmpA(0x5000, false);
    const std::uint32_t after = m.at;
    m << djnz(0x101, I(m.back(loop))) << cogstop(I(0));
    // $5000..$500C share decode entries with $1000..$100C; every other pass
    // cancels an instruction there.
    m.org(0x080 * 4) << add(0x106, I(1)) << add(0x106, R(0x101)) << ret();
    m.org(0x5000) << add(0x105, I(7)) << alu(op::TESTB, 0x101, I(0), WZ) << cond(IF_Z, add(0x105, I(100)))
                  << jmpA(after, false);
    return m;
}

// Two cogs write and read back the same hub long, and log what they read
// and when, in hub exec or in cog exec: the order of their hub accesses
// decides every value read.
Image twoCogsOneLong(bool hubExec)
{
    Image m;
    const std::uint32_t body = hubExec ? 0x1100 : 0x40;
    if (hubExec) {
        m.longs[0x130] = body;
        m << coginit(I(0x21), R(0x130)) << jmpA(body, false); // cog 1 in hub exec, without a load
    } else {
        m << cogid(0x100) << tjz(0x100, I(1)) << jmpA(body / 4, false) << coginit(I(1), I(0)) << jmpA(body / 4, false);
    }
    m.org(body) << cogid(0x100) << mov(0x101, I(30)) << mov(PTRA, R(0x100)) << alu(op::SHL, PTRA, I(8));
    m.set(0x106, 0x3000) << add(PTRA, R(0x106));
    m.set(0x102, 0x2000);
    const std::uint32_t loop = m.at;
    m << add(0x103, R(0x100)) << add(0x103, I(1)) << wrlong(R(0x103), R(0x102)) << rdlong(0x104, R(0x102))
      << wrlong(R(0x104), ptrPost(false, 1)) << wrbyte(R(0x100), R(0x102)) << rdlong(0x105, R(0x102), WC)
      << getct(0x107) << wrlong(R(0x107), ptrPost(false, 1)) << djnz(0x101, I(m.back(loop))) << cogstop(R(0x100));
    return m;
}

// Hub exec: every math and logic op of the table, with register and with
// immediate S and with its flags written, each followed by a log of C, Z
// and its D. The fast path runs these through handlers compiled for the
// quiet state; a prefix (SETQ, AUGS) or a special register leaves it.
Image everyMathOp()
{
    Image m;
    m << jmpA(0x1000, false);
    m.org(0x1000);
    const std::uint32_t values[] = {0,           1, 0x80000000u, 0xFFFFFFFFu, 0x12345678u, 31, 0x7FFFFFFF,  0xDEADBEEF,
                                    0x00FF00FFu, 5, 0x40000000u, 0xFFFF0000u, 0x0000F00Fu, 33, 0x87654321u, 2};
    for (std::uint32_t r = 0; r < 16; ++r)
        m.set(0x100 + r, values[r]);
    m.set(PTRA, 0x4000);
    int n = 0;
    const OpInfo *table = opTable(&n);
    for (int k = 0; k < n; ++k) {
        const OpInfo &r = table[k];
        const bool form =
            r.operands == OperandForm::D || r.operands == OperandForm::D_ImmS || r.operands == OperandForm::D_ImmS_N;
        const std::string name = r.mnemonic;
        // Not the branches, the ALTx prefixes (they would move the log) or
        // the ops the simulator refuses.
        const bool branch = r.cogTaken != r.cogClocks || name == "JMP" || name.rfind("CALL", 0) == 0;
        if (!form || r.shared || branch || name.rfind("ALT", 0) == 0 || name.rfind("SEUSS", 0) == 0)
            continue;
        const std::uint32_t free = ~r.mask;
        const std::uint32_t d = 0x100 + std::uint32_t(k & 7), s = 0x108 + std::uint32_t(k * 3 & 7);
        std::uint32_t w = 0xF0000000u | r.value | ((d << 9 | s) & free & 0x3FFFFu & ~(1u << 18));
        w |= (r.czRule == CzRule::OneOf ? WC : WCZ) & free;
        for (const std::uint32_t variant : {w, w | ((1u << 18 | 0x0A5u) & free)}) {
            m << variant << wrc(0x1E0) << wrz(0x1E1);
            m << wrlong(R(0x1E0), ptrPost(false, 1)) << wrlong(R(0x1E1), ptrPost(false, 1))
              << wrlong(R(d), ptrPost(false, 1));
        }
    }
    m << cogstop(I(0));
    return m;
}

TEST(FastPath, EndsInTheStateOfTheStepByStepPath)
{
    // Both paths share the decode caches, so the sums the programs work out
    // are checked too: 20 passes add 3 and 20 subtract 1; 40 add 7 and 20 add
    // 100; the 40 calls into cog RAM add 1 and the count (40 down to 1).
    const struct {
        const char *name;
        Image image;
        std::vector<std::pair<std::uint32_t, std::uint32_t>> cog0; // register, value
    } cases[] = {
        {"self-modifying hub exec code",
         selfModifyingHubCode(),
         {{0x104, 40}, {0x105, 2280}, {0x106, 40 + 40 * 41 / 2}}},
        {"two cogs on one hub long, hub exec", twoCogsOneLong(true), {}},
        {"two cogs on one hub long, cog exec", twoCogsOneLong(false), {}},
        {"every math and logic op", everyMathOp(), {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome fast = runIt(c.image, false, 200000), step = runIt(c.image, true, 200000);
        EXPECT_EQ(fast.stop, Chip::StopReason::AllStopped);
        EXPECT_EQ(fast.stop, step.stop);
        EXPECT_EQ(fast.now, step.now);
        EXPECT_EQ(fast.instructions, step.instructions);
        EXPECT_TRUE(fast.hub == step.hub);
        EXPECT_TRUE(fast.cogs == step.cogs);
        EXPECT_GT(fast.instructions, 300u);
        for (const auto &[reg, value] : c.cog0)
            EXPECT_EQ(fast.cogs[4 + 2 * reg], value) << "register $" << std::hex << reg;
    }
}

} // namespace
