// The instruction table against itself and against the chip: encodings that
// do not overlap, operand forms that fit the encodings, a handler for every
// op, and every clock count the sheet gives, measured on the running cog.
#include "chip/chip.h"
#include "chip/cog.h"
#include "chip/isa.h"
#include "p2asm.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <set>
#include <string>
#include <vector>

using namespace kivo::sim;
using namespace kivo::test::p2;

namespace {

std::vector<OpInfo> rows()
{
    int n = 0;
    const OpInfo *t = opTable(&n);
    return {t, t + n};
}

// ---- the table ----

TEST(IsaTable, EncodingsDoNotOverlap)
{
    // Two rows overlap when some long matches the fixed bits of both and the
    // C/Z rules do not tell them apart. NOP (the all-zero long) is decoded
    // before the table. The one overlap is nested: GETBRK needs a flag, so
    // COGBRK's C=Z=0 encoding is the more specific row and wins.
    std::set<std::string> overlaps;
    const auto t = rows();
    for (std::size_t i = 0; i < t.size(); ++i) {
        for (std::size_t j = i + 1; j < t.size(); ++j) {
            const OpInfo &a = t[i], &b = t[j];
            if (a.op == Op::NOP || b.op == Op::NOP)
                continue;
            const std::uint32_t both = a.mask & b.mask & 0x0FFFFFFFu;
            if ((a.value ^ b.value) & both)
                continue;
            const std::set<CzRule> rules{a.czRule, b.czRule};
            if (rules == std::set<CzRule>{CzRule::OneOf, CzRule::Same})
                continue;
            overlaps.insert(std::string(a.mnemonic) + "/" + b.mnemonic);
            const OpInfo &specific = std::popcount(a.mask) > std::popcount(b.mask) ? a : b;
            EXPECT_EQ(decode(0xF0000000u | specific.value), specific.op) << a.mnemonic << "/" << b.mnemonic;
        }
    }
    EXPECT_EQ(overlaps, std::set<std::string>{"GETBRK/COGBRK"});
}

TEST(IsaTable, OperandFormsFitTheEncodings)
{
    // Every operand field the form names is free in the encoding, and every
    // free field belongs to an operand or a flag.
    constexpr std::uint32_t kD = 0x1FFu << 9, kS = 0x1FFu, kI = 1u << 18, kL = 1u << 19, kC = 1u << 20, kZ = 1u << 19;
    for (const OpInfo &r : rows()) {
        if (r.op == Op::NOP)
            continue;
        const std::uint32_t free = ~r.mask & 0x0FFFFFFFu;
        std::uint32_t fields = 0;
        switch (r.operands) {
        case OperandForm::None:
            break;
        case OperandForm::D:
            fields = kD;
            break;
        case OperandForm::ImmD:
            fields = kD | kI;
            break;
        case OperandForm::ImmS:
            fields = kS | kI;
            break;
        case OperandForm::D_ImmS:
        case OperandForm::D_PtrS:
            fields = kD | kS | kI;
            break;
        case OperandForm::D_ImmS_N:
            fields = kD | kS | kI;
            break; // N is below
        case OperandForm::ImmD_ImmS:
        case OperandForm::ImmD_PtrS:
            fields = kD | kS | kI | kL;
            break;
        case OperandForm::Addr:
            fields = 0x1FFFFFu;
            break;
        case OperandForm::Reg_Addr:
            fields = 0x7FFFFFu;
            break;
        case OperandForm::Aug:
            fields = 0x7FFFFFu;
            break;
        case OperandForm::CondCZ:
            fields = 0xFFu << 9;
            break;
        }
        std::uint32_t flagBits = 0;
        switch (r.flags) {
        case FlagForm::None:
            break;
        case FlagForm::Wc:
            flagBits = kC;
            break;
        case FlagForm::Wz:
            flagBits = kZ;
            break;
        default:
            flagBits = kC | kZ;
            break;
        }
        if (r.operands == OperandForm::D_ImmS_N)
            flagBits |= free & (7u << 19); // the N field
        if (r.operands == OperandForm::ImmS && r.flags == FlagForm::None)
            fields &= ~kD; // D fixed (Jxxx)
        EXPECT_EQ(free & fields, fields) << r.mnemonic << ": an operand field is fixed";
        EXPECT_EQ(free & ~(fields | flagBits), 0u) << r.mnemonic << ": a free field has no operand";
    }
}

// ---- every row on the chip ----

constexpr std::uint32_t kReg = 0x100; // the D and S register of the instruction under test
constexpr std::uint32_t kCogAt = 2, kHubAt = 0x1000;

// The row's instruction with register operands (kReg) and no flags unless
// the encoding needs one; branches land on the next instruction: kReg holds
// its cog address and an A field is absolute.
std::uint32_t encode(const OpInfo &r)
{
    if (r.op == Op::NOP)
        return 0;
    std::uint32_t w = 0xF0000000u | r.value;
    const std::uint32_t free = ~r.mask;
    if (r.operands == OperandForm::Addr || r.operands == OperandForm::Reg_Addr)
        return w | ((kCogAt + 1) & free & 0xFFFFFu);
    w |= (kReg << 9 | kReg) & free & 0x3FFFFu & ~(1u << 18);
    if (r.czRule == CzRule::OneOf || r.flags == FlagForm::AnyRequired)
        w |= (1u << 20) & free;
    return w;
}

struct Measured {
    int clocks = -1;   // from the instruction's start to the next one's, -1 when it never ended
    std::string fault; // the chip's fault message when the instruction faulted
};

// Runs `instr` once, in cog exec at $002 or in hub exec at $1000, after
// `phase` more clocks (hub slots turn every clock).
Measured measure(std::uint32_t instr, bool hubExec, std::uint32_t phase = 0)
{
    std::vector<std::uint32_t> longs(0x1000 / 4 + 2, 0);
    longs[0] = stalli(); // TRGINTx must not enter an interrupt here
    longs[1] = waitx(I(phase));
    longs[kCogAt] = hubExec ? jmpA(kHubAt, false) : instr;
    longs[kReg] = kCogAt + 1;
    longs[kHubAt / 4] = instr;
    std::vector<std::uint8_t> bytes;
    for (std::uint32_t w : longs)
        for (int b = 0; b < 4; ++b)
            bytes.push_back(std::uint8_t(w >> (8 * b)));
    Chip chip;
    std::string error;
    EXPECT_TRUE(chip.loadImage(bytes, &error)) << error;
    const std::uint32_t at = hubExec ? kHubAt : kCogAt;
    Clock start = kNever, next = kNever;
    chip.setTraceHook([&](const TraceEntry &e) {
        if (e.cog != 0 || next != kNever)
            return;
        if (start != kNever)
            next = e.clock;
        else if (e.pc == at)
            start = e.clock;
    });
    Measured m;
    const bool fault = chip.runUntil(3000) == Chip::StopReason::Fault;
    if (start != kNever && next != kNever)
        m.clocks = int(next - start);
    else if (fault)
        m.fault = chip.faultMessage(); // at the instruction itself, not at what ran after it
    return m;
}

// The sheet's clock text for cog exec or hub exec ("same": as in cog exec).
std::string sheetText(const OpInfo &r, bool hubExec)
{
    const std::string all = r.sheetClocks;
    const std::size_t semi = all.find("; ");
    const std::string cog = all.substr(0, semi), hub = all.substr(semi + 2);
    return hubExec && hub != "same" ? hub : cog;
}

bool isNumber(const std::string &s)
{
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

// The ops the simulator refuses (it stops with a fault that says so).
bool notModelled(Op op) { return op == Op::SEUSSF || op == Op::SEUSSR; }

TEST(IsaTable, EveryOpRunsItsOwnHandler)
{
    for (const OpInfo &r : rows()) {
        const std::uint32_t w = encode(r);
        ASSERT_EQ(decode(w), r.op) << r.mnemonic;
        const Measured m = measure(w, false);
        EXPECT_EQ(m.fault.find("no instruction has this encoding"), std::string::npos) << r.mnemonic;
        if (notModelled(r.op)) {
            EXPECT_NE(m.fault.find("not modelled"), std::string::npos) << r.mnemonic << ": " << m.fault;
        }
    }
}

TEST(IsaTable, EveryFastPathOpHasItsQuietHandler)
{
    for (const OpInfo &r : rows())
        EXPECT_TRUE(Cog::quietWherePlain(r.op)) << r.mnemonic;
}

TEST(IsaTiming, FixedClockCountsOfTheSheet)
{
    int timed[2] = {0, 0};
    for (const bool hubExec : {false, true}) {
        for (const OpInfo &r : rows()) {
            const std::string text = sheetText(r, hubExec);
            if (!isNumber(text) || notModelled(r.op) || (hubExec && r.hubExec != HubExec::Allowed))
                continue;
            const Measured m = measure(encode(r), hubExec);
            EXPECT_EQ(m.clocks, std::stoi(text))
                << r.mnemonic << (hubExec ? " in hub exec" : " in cog exec") << " " << m.fault;
            ++timed[hubExec];
        }
    }
    EXPECT_GT(timed[0], 250);
    EXPECT_GT(timed[1], 230);
}

TEST(IsaTiming, HubSlotRangesOfTheSheet)
{
    // "a...b" in cog exec: the fewest clocks at the best hub phase and, where
    // the range is one hub turn (b = a + 7), the most at the worst.
    int timed = 0;
    for (const OpInfo &r : rows()) {
        const std::string text = sheetText(r, false);
        const std::size_t dots = text.find("...");
        if (dots == std::string::npos || !isNumber(text.substr(0, dots)) || r.op == Op::HUBSET)
            continue;
        const int lo = std::stoi(text.substr(0, dots)), hi = std::stoi(text.substr(dots + 3));
        int least = 1 << 30, most = 0;
        for (std::uint32_t phase = 0; phase < 8; ++phase) {
            const Measured m = measure(encode(r), false, phase);
            ASSERT_GT(m.clocks, 0) << r.mnemonic << " " << m.fault;
            least = std::min(least, m.clocks);
            most = std::max(most, m.clocks);
        }
        EXPECT_EQ(least, lo) << r.mnemonic << " " << text;
        EXPECT_LE(most, hi) << r.mnemonic << " " << text;
        if (hi == lo + 7) {
            EXPECT_EQ(most, hi) << r.mnemonic << " " << text;
        }
        ++timed;
    }
    EXPECT_GT(timed, 20);
}

TEST(IsaTiming, FifoOpsFaultInHubExec)
{
    int checked = 0;
    for (const OpInfo &r : rows()) {
        if (r.hubExec != HubExec::FifoInUse)
            continue;
        const Measured m = measure(encode(r), true);
        EXPECT_NE(m.fault.find("in hub exec (the FIFO is busy with instruction fetch)"), std::string::npos)
            << r.mnemonic << ": " << m.fault;
        ++checked;
    }
    EXPECT_EQ(checked, 11);
}

TEST(IsaTiming, HubExecBranchToAnUnalignedTargetTakesOneClockMore)
{
    // Both targets are in the same hub long, so they wait for the same slot.
    for (std::uint32_t phase = 0; phase < 8; ++phase) {
        const Measured aligned = measure(jmpA(0x1100, false), true, phase);
        const Measured unaligned = measure(jmpA(0x1102, false), true, phase);
        ASSERT_GE(aligned.clocks, 13) << phase;
        EXPECT_EQ(unaligned.clocks, aligned.clocks + 1) << phase;
    }
}

} // namespace
