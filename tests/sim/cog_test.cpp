// Cog instruction semantics, flags, the easy-to-get-wrong chip facts and the
// timing anchors, on programs built with the test encoder.
#include "chip/chip.h"
#include "chip/isa.h"
#include "p2asm.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>

using namespace kivo::sim;
using namespace kivo::test::p2;

namespace {

// Registers well above the test programs, which cog 0 loads from $000.
constexpr std::uint32_t RD = 0x100, RS = 0x101, RX = 0x102, RY = 0x103, RZ = 0x104;

struct Ran {
    std::unique_ptr<Chip> chip = std::make_unique<Chip>();
    Chip::StopReason stop = Chip::StopReason::Limit;
    std::uint32_t reg(std::uint32_t a) const { return chip->cogRegister(0, a); }
    bool c() const { return reg(0x1EE) != 0; }
    bool z() const { return reg(0x1EF) != 0; }
};

Ran run(const Program &p, Clock limit = 2000000)
{
    Ran r;
    std::string error;
    EXPECT_TRUE(r.chip->loadImage(p.bytes(), &error)) << error;
    r.stop = r.chip->runUntil(limit);
    return r;
}

// ---- math and logic: result and flags ----

struct AluCase {
    const char *name;
    std::uint32_t instr; // operating on RD (D) and RS (S register) with WCZ
    std::uint32_t d, s;
    bool c0, z0; // flags before
    std::uint32_t result;
    bool c, z;
};

class AluTest : public ::testing::TestWithParam<AluCase>
{
};

TEST_P(AluTest, ResultAndFlags)
{
    const AluCase &k = GetParam();
    Program p;
    p.set(RD, k.d).set(RS, k.s);
    p << modcz(k.c0 ? 0xF : 0, k.z0 ? 0xF : 0) << k.instr;
    p.finish();
    Ran r = run(p);
    ASSERT_EQ(r.stop, Chip::StopReason::AllStopped) << r.chip->faultMessage();
    EXPECT_EQ(r.reg(RD), k.result) << k.name;
    EXPECT_EQ(r.c(), k.c) << k.name << " C";
    EXPECT_EQ(r.z(), k.z) << k.name << " Z";
}

std::uint32_t A(std::uint32_t op7) { return alu(op7, RD, R(RS), WCZ); }
std::uint32_t G(std::uint32_t op9) { return grp(op9, RD, R(RS)); }

const AluCase kAlu[] = {
    // name, instr, D, S, C0, Z0, result, C, Z
    {"ADD carry", A(op::ADD), 0xFFFFFFFF, 1, false, false, 0, true, true},
    {"ADDX uses C, Z accumulates", A(op::ADDX), 1, 1, true, true, 3, false, false},
    {"ADDX zero keeps Z", A(op::ADDX), 0xFFFFFFFF, 0, true, true, 0, true, true},
    {"ADDS sign of the true sum", A(op::ADDS), 0x7FFFFFFF, 1, false, false, 0x80000000, false, false},
    {"ADDS negative", A(op::ADDS), 0xFFFFFFFE, 1, false, false, 0xFFFFFFFF, true, false},
    {"SUB borrow", A(op::SUB), 1, 2, false, false, 0xFFFFFFFF, true, false},
    {"SUBX borrow in", A(op::SUBX), 5, 2, true, true, 2, false, false},
    {"SUBS overflow", A(op::SUBS), 0x80000000, 1, false, false, 0x7FFFFFFF, true, false},
    {"CMP equal keeps D", A(op::CMP), 5, 5, true, false, 5, false, true},
    {"CMPS signed", A(op::CMPS), 0xFFFFFFFF, 1, false, false, 0xFFFFFFFF, true, false},
    {"CMPR S<D", A(op::CMPR), 3, 5, true, true, 3, false, false},
    {"CMPR S=D", A(op::CMPR), 5, 5, true, false, 5, false, true},
    {"CMPR S>D", A(op::CMPR), 5, 3, false, true, 5, true, false},
    {"CMPM MSB of D-S", A(op::CMPM), 0, 1, false, false, 0, true, false},
    {"SUBR S-D", A(op::SUBR), 3, 5, false, false, 2, false, false},
    {"CMPSUB takes", A(op::CMPSUB), 7, 5, false, false, 2, true, false},
    {"CMPSUB leaves", A(op::CMPSUB), 3, 5, true, false, 3, false, false},
    {"CMPSUB D=S takes", A(op::CMPSUB), 5, 5, false, false, 0, true, true},
    {"FGE forces", A(op::FGE), 3, 5, false, false, 5, true, false},
    {"FLE forces", A(op::FLE), 7, 5, false, false, 5, true, false},
    {"FGES signed", A(op::FGES), 0xFFFFFFFD, 2, false, false, 2, true, false},
    {"FLES signed keeps", A(op::FLES), 0xFFFFFFFD, 2, false, false, 0xFFFFFFFD, false, false},
    {"SUMC C=1 subtracts", A(op::SUMC), 10, 3, true, false, 7, false, false},
    {"SUMNZ Z=0 subtracts", A(op::SUMNZ), 2, 3, false, false, 0xFFFFFFFF, true, false},
    {"SHR C last out", A(op::SHR), 0x80000001, 1, false, false, 0x40000000, true, false},
    {"SHL C last out", A(op::SHL), 0x80000001, 1, false, false, 2, true, false},
    {"ROR", A(op::ROR), 1, 1, false, false, 0x80000000, true, false},
    {"ROL", A(op::ROL), 0x80000000, 1, false, false, 1, true, false},
    {"RCR fills with C", A(op::RCR), 0, 4, true, false, 0xF0000000, false, false},
    {"RCL fills with C", A(op::RCL), 0, 4, true, false, 0xF, false, false},
    {"SAR", A(op::SAR), 0x80000000, 4, false, false, 0xF8000000, false, false},
    {"SAL fills with D[0]", A(op::SAL), 1, 4, false, false, 0x1F, false, false},
    {"SHR by 0: C = D[0]", A(op::SHR), 3, 0, false, false, 3, true, false},
    {"AND parity", A(op::AND), 0xF0F0, 0xFF00, true, true, 0xF000, false, false},
    {"XOR parity odd", A(op::XOR), 0xFF, 1, false, false, 0xFE, true, false},
    {"ANDN zero", A(op::ANDN), 0xF, 0xF, false, false, 0, false, true},
    {"MUXC", A(op::MUXC), 0x0F, 0xF0, true, false, 0xFF, false, false},
    {"MUXNZ", A(op::MUXNZ), 0xFF, 0x0F, false, true, 0xF0, false, false},
    {"MOV C = S[31]", A(op::MOV), 0, 0x80000000, false, true, 0x80000000, true, false},
    {"NOT", A(op::NOT), 0, 0x0000FFFF, false, false, 0xFFFF0000, true, false},
    {"NEG", A(op::NEG), 0, 1, false, false, 0xFFFFFFFF, true, false},
    {"NEGC C=0 keeps", A(op::NEGC), 0, 5, false, false, 5, false, false},
    {"ABS C = S[31]", A(op::ABS), 0, 0xFFFFFFFB, false, false, 5, true, false},
    {"INCMOD wraps", A(op::INCMOD), 5, 5, false, false, 0, true, true},
    {"DECMOD wraps", A(op::DECMOD), 0, 9, false, false, 9, true, false},
    {"ZEROX C = result[31]", A(op::ZEROX), 0xFFFF, 7, true, false, 0xFF, false, false},
    {"ZEROX by 31 keeps D", A(op::ZEROX), 0x80000000, 31, false, false, 0x80000000, true, false},
    {"SIGNX", A(op::SIGNX), 0x80, 7, false, false, 0xFFFFFF80, true, false},
    {"ENCOD", A(op::ENCOD), 0, 0x100, false, false, 8, true, false},
    {"ENCOD of 0", A(op::ENCOD), 7, 0, true, false, 0, false, true},
    {"ONES", A(op::ONES), 0, 0xF0F, false, false, 8, false, false},
    {"TEST keeps D", A(op::TEST), 0x6, 0x2, false, true, 0x6, true, false},
    {"TESTB WC", alu(op::TESTB, RD, R(RS), WC), 4, 2, false, false, 4, true, false},
    {"TESTBN WZ", alu(op::TESTBN, RD, R(RS), WZ), 4, 2, true, true, 4, true, false},
    {"BITH span S[9:5]", alu(op::BITH, RD, R(RS)), 0, 3 | 2 << 5, false, false, 0x38, false, false},
    {"BITNOT WCZ gives old bit", alu(op::BITNOT, RD, R(RS), WCZ), 1, 0, false, false, 0, true, true},
    {"DECOD", G(op9::DECOD), 0, 5, false, false, 32, false, false},
    {"BMASK", G(op9::BMASK), 0, 3, false, false, 0xF, false, false},
    {"MUL 16x16", G(op9::MUL), 0xFFFF, 0xFFFF, false, false, 0xFFFE0001, false, false},
    {"MULS 16x16", G(op9::MULS), 0xFFFF, 0xFFFF, false, false, 1, false, false},
    {"MOVBYTS", G(op9::MOVBYTS), 0x44332211, 0x1B, false, false, 0x11223344, false, false},
    {"MUXNITS", G(op9::MUXNITS), 0xF0, 0x03, false, false, 0xF3, false, false},
    {"MUXNIBS", G(op9::MUXNIBS), 0xFF, 0x0500, false, false, 0x05FF, false, false},
    {"SETR", G(op9::SETR), 0, 0x1FF, false, false, 0x0FF80000, false, false},
    {"SETD", G(op9::SETD), 0xFFFFFFFF, 0, false, false, 0xFFFC01FF, false, false},
    {"CRCBIT C^D0 = 1", G(op9::CRCBIT), 1, 0x8408, false, false, 0x8408, false, false},
    {"GETNIB N=2", getnib(RD, R(RS), 2), 0, 0x12345678, false, false, 6, false, false},
    {"SETBYTE N=1", setbyte(RD, R(RS), 1), 0, 0xAB, false, false, 0xAB00, false, false},
    {"GETWORD N=1", getword(RD, R(RS), 1), 0, 0x12345678, false, false, 0x1234, false, false},
    {"REV", dForm(sub9::REV, R(RD)), 1, 0, false, false, 0x80000000, false, false},
    {"RCZR", dForm(sub9::RCZR, R(RD), WCZ), 3, 0, false, true, 0x40000000, true, true},
    {"RCZL", dForm(sub9::RCZL, R(RD), WCZ), 0x80000000, 0, true, false, 2, true, false},
    {"SPLITB", dForm(sub9::SPLITB, R(RD)), 0xF, 0, false, false, 0x01010101, false, false},
    {"MERGEB", dForm(sub9::MERGEB, R(RD)), 0x01010101, 0, false, false, 0xF, false, false},
    {"SPLITW", dForm(sub9::SPLITW, R(RD)), 3, 0, false, false, 0x00010001, false, false},
    {"SPLITW even bits to the low word", dForm(sub9::SPLITW, R(RD)), 0x55555555, 0, false, false, 0x0000FFFF, false,
     false},
    {"SPLITW odd bits to the high word", dForm(sub9::SPLITW, R(RD)), 0x8000000A, 0, false, false, 0x80030000, false,
     false},
    {"WRNC C=1", dForm(sub9::WRNC, R(RD)), 7, 0, true, false, 0, true, false},
    {"WRNC C=0", dForm(sub9::WRNC, R(RD)), 7, 0, false, true, 1, false, true},
    {"RGBSQZ", dForm(sub9::RGBSQZ, R(RD)), 0xFFFFFF00, 0, false, false, 0xFFFF, false, false},
    {"RGBEXP", dForm(sub9::RGBEXP, R(RD)), 0xF800, 0, false, false, 0xFF000000, false, false},
    {"MODCZ _C_NE_Z,_SET", dForm(sub9::MODCZ, I(0x6F), WCZ), 7, 0, true, false, 7, true, true},
};

INSTANTIATE_TEST_SUITE_P(MathAndLogic, AluTest, ::testing::ValuesIn(kAlu),
                         [](const ::testing::TestParamInfo<AluCase> &i) { return "case" + std::to_string(i.index); });

// ---- conditions ----

TEST(Cog, ConditionsFollowTheFlags)
{
    // For every condition code and flag state: does the instruction run?
    for (unsigned cc = 1; cc < 16; ++cc) {
        for (unsigned fz = 0; fz < 4; ++fz) {
            const bool c = fz & 2, z = fz & 1;
            Program p;
            p.set(RD, 0) << modcz(c ? 0xF : 0, z ? 0xF : 0) << cond(Cond(cc), mov(RD, I(1)));
            p.finish();
            Ran r = run(p);
            const bool expect = (cc >> (unsigned(c) * 2 + unsigned(z))) & 1;
            EXPECT_EQ(r.reg(RD), expect ? 1u : 0u) << "cond " << cc << " C=" << c << " Z=" << z;
        }
    }
}

// ---- chip facts that are easy to get wrong ----

TEST(Cog, RelativeBranchHasRBitSetAndByteOffset)
{
    Program p;
    p << jmpA(8, true)  // $000: R=1, +8 bytes = 2 instructions after $001
      << mov(RD, I(1))  // $001 skipped
      << mov(RD, I(2))  // $002 skipped
      << mov(RX, I(3))  // $003
      << jmpA(7, false) // $004: R=0, absolute $007
      << mov(RY, I(4))  // $005 skipped
      << mov(RY, I(5))  // $006 skipped
      << NOP;           // $007
    p.finish();
    Ran r = run(p);
    EXPECT_EQ(r.reg(RD), 0u);
    EXPECT_EQ(r.reg(RX), 3u);
    EXPECT_EQ(r.reg(RY), 0u);
}

TEST(Cog, AnInstructionRewrittenInPlaceRunsAsRewritten)
{
    // The second pass runs the ADD the first pass wrote over the first.
    Program p;
    p.set(RD, 0).set(RY, add(RD, I(16))) << mov(RX, I(2));
    const std::uint32_t at = p.here();
    p << add(RD, I(1))      // at
      << mov(at, R(RY))     // the ADD above becomes ADD RD, #16
      << djnz(RX, I(0x1FD)) // back to `at` once
      << NOP;
    p.finish();
    Ran r = run(p);
    EXPECT_EQ(r.reg(RD), 17u);
}

TEST(Cog, JmpDTakesCAndZFromD)
{
    for (const std::uint32_t fl : {WC, WZ, WCZ}) {
        for (const std::uint32_t top : {0u, 1u, 2u, 3u}) { // D[31:30]
            const bool c = top & 2, z = top & 1;
            Program p;
            p << augs(top << 30) << mov(RD, I(5)) // $000, $001
              << modcz(c ? 0 : 0xF, z ? 0 : 0xF)  // $002: the flags D does not have
              << jmp(RD, fl)                      // $003 -> $005
              << mov(RX, I(1));                   // $004 skipped
            p.finish();                           // $005
            Ran r = run(p);
            EXPECT_EQ(r.reg(RX), 0u);
            EXPECT_EQ(r.c(), (fl & WC) ? c : !c) << "D[31:30]=" << top << " flags " << fl;
            EXPECT_EQ(r.z(), (fl & WZ) ? z : !z) << "D[31:30]=" << top << " flags " << fl;
        }
    }
}

TEST(Cog, RetPrefixReturnsUnlessTheInstructionBranched)
{
    Program p;
    p << callA(3 * 4, true)         // $000 -> $004
      << callA(5 * 4, true)         // $001 -> $007
      << jmpA(10, false)            // $002 -> $00A (end)
      << NOP                        // $003
      << cond(RET_, mov(RX, I(7)))  // $004: _ret_ mov
      << NOP << NOP                 // $005, $006
      << cond(RET_, jmpA(9, false)) // $007: _ret_ jmp: the jump wins
      << mov(RY, I(1))              // $008 skipped
      << cond(RET_, mov(RZ, I(9)))  // $009: returns to $002
      << NOP;                       // $00A
    p.finish();
    Ran r = run(p);
    EXPECT_EQ(r.reg(RX), 7u);
    EXPECT_EQ(r.reg(RY), 0u);
    EXPECT_EQ(r.reg(RZ), 9u);
}

TEST(Cog, AugsAppliesToTheNextImmediateS)
{
    Program p;
    p.set(RS, 0x55);
    p << augs(0x12345600) << mov(RX, R(RS))           // register S: AUGS waits
      << mov(RY, I(0x1FF))                            // takes it
      << mov(RZ, I(0x1FF));                           // plain again
    p << augd(0xABCDE00) << wrlong(I(0x15), I(0x80)); // ##D for WRLONG data
    p << rdlong(RD, I(0x80));
    p.finish();
    Ran r = run(p);
    EXPECT_EQ(r.reg(RX), 0x55u);
    EXPECT_EQ(r.reg(RY), 0x123457FFu);
    EXPECT_EQ(r.reg(RZ), 0x1FFu);
    EXPECT_EQ(r.reg(RD), 0xABCDE15u);
}

TEST(Cog, SetqBlockMovesPtrByTheBlockSizeUnlessAPrefixIntervenes)
{
    Program p;
    p.set(PTRA, 0x1000).set(RD, 11).set(RS, 22).set(RX, 33);
    p << setq(I(2)) << wrlong(R(RD), ptrPost(false, 1)); // PTRA += 12
    p.set(PTRB, 0x2000);
    p << setq(I(2)) << grp(op9::ALTR, 0x1E0, I(0)) << wrlong(R(RD), ptrPost(true, 1)); // erratum: PTRB += 4
    p.set(PTRA, 0x100C);
    p << setq(I(2)) << rdlong(0x120, ptrPre(false, -1)); // pop three: PTRA -= 12, block from the new PTRA
    p.finish();
    Ran r = run(p);
    const Hub &h = r.chip->hub();
    EXPECT_EQ(h.readLong(0x1000), 11u);
    EXPECT_EQ(h.readLong(0x1008), 33u);
    EXPECT_EQ(h.readLong(0x2008), 33u); // the block itself still moves
    EXPECT_EQ(r.reg(PTRB), 0x2004u);
    EXPECT_EQ(r.reg(PTRA), 0x1000u);
    EXPECT_EQ(r.reg(0x120), 11u);
    EXPECT_EQ(r.reg(0x122), 33u);
}

TEST(Cog, PtrExpressionsScaleAndUpdate)
{
    Program p;
    p.set(RD, 0x11223344).set(RS, 0xAA).set(PTRA, 0x3000).set(PTRB, 0x4000);
    p << wrlong(R(RD), ptr(false, -1))   // PTRA[-1] -> $2FFC, PTRA unchanged
      << wrword(R(RD), ptrPost(true, 2)) // PTRB++[2] -> $4000, PTRB += 4
      << wrbyte(R(RS), ptrPre(true, -3)) // --PTRB[3] -> $4001, PTRB = $4001
      << augs(0x00A00100)                // ++PTRA[##$100], unscaled
      << rdlong(RX, I(0x100));
    p.finish();
    Ran r = run(p);
    const Hub &h = r.chip->hub();
    EXPECT_EQ(h.readLong(0x2FFC), 0x11223344u);
    EXPECT_EQ(h.readByte(0x4000), 0x44u);
    EXPECT_EQ(h.readByte(0x4001), 0xAAu);
    EXPECT_EQ(r.reg(PTRB), 0x4001u);
    EXPECT_EQ(r.reg(PTRA), 0x3100u);
}

TEST(Cog, CoginitLoadsRegistersAndPointers)
{
    // Cog 1's image at hub $1000: it copies PTRA/PTRB to hub $800/$804 and its
    // register $1F7 (loaded from the image) to $808.
    Program p;
    p.set(RD, 0x1000) << setq(I(0x1AB)) << coginit(I(1), R(RD));
    p << waitx(I(0x1FF)) << waitx(I(0x1FF)) << waitx(I(0x1FF)) << waitx(I(0x1FF));
    p.finish();
    auto bytes = p.bytes();
    bytes.resize(0x1000 + 0x800, 0);
    const std::uint32_t prog[] = {
        augs(0x800), wrlong(R(PTRA), I(0)),  augs(0x804),   wrlong(R(PTRB), I(4)),
        augs(0x808), wrlong(R(0x1F7), I(8)), cogstop(I(1)),
    };
    for (std::size_t i = 0; i < std::size(prog); ++i)
        for (int b = 0; b < 4; ++b)
            bytes[0x1000 + 4 * i + std::size_t(b)] = std::uint8_t(prog[i] >> (8 * b));
    const std::uint32_t marker = 0xCAFE0001;
    for (int b = 0; b < 4; ++b)
        bytes[0x1000 + 4 * 0x1F7 + std::size_t(b)] = std::uint8_t(marker >> (8 * b));
    Chip chip;
    ASSERT_TRUE(chip.loadImage(bytes));
    chip.runUntil(100000);
    EXPECT_EQ(chip.hub().readLong(0x800), 0x1ABu);
    EXPECT_EQ(chip.hub().readLong(0x804), 0x1000u);
    EXPECT_EQ(chip.hub().readLong(0x808), marker);
}

TEST(Cog, HardwareStackAndCallpa)
{
    Program p;
    p << push(I(5)) << push(I(6)) << pop(RX) << pop(RY);
    p << callpa(I(0x33), I(1))      // $004 -> $006 (relative 9-bit), PA = $33
      << jmpA(8, false)             // $005 -> $008
      << cond(RET_, mov(RZ, R(PA))) // $006
      << NOP                        // $007
      << NOP;                       // $008
    p.finish();
    Ran r = run(p);
    EXPECT_EQ(r.reg(RX), 6u);
    EXPECT_EQ(r.reg(RY), 5u);
    EXPECT_EQ(r.reg(RZ), 0x33u);
}

TEST(Cog, RepRepeatsAndSkipCancels)
{
    Program p;
    p.set(RD, 0);
    p << rep(I(2), I(5)) << add(RD, I(1)) << add(RD, I(10)); // 5 x 11
    p << dForm(sub9::SKIP, I(0b0101)) << add(RX, I(1)) << add(RX, I(2)) << add(RX, I(4)) << add(RX, I(8));
    p << dForm(sub9::SKIPF, I(0b0110)) << add(RY, I(1)) << add(RY, I(2)) << add(RY, I(4)) << add(RY, I(8));
    p.finish();
    Ran r = run(p);
    EXPECT_EQ(r.reg(RD), 55u);
    EXPECT_EQ(r.reg(RX), 10u);
    EXPECT_EQ(r.reg(RY), 9u);
}

TEST(Cog, SkipResumesAfterACalledSubroutine)
{
    // SKIP #%1010: the 2nd and 4th instructions after it are cancelled; the
    // CALL (1st) runs its whole subroutine, whose instructions are not skipped.
    Program p;
    p << dForm(sub9::SKIP, I(0b1010)) // $000
      << callA(5 * 4, true)           // $001 -> $007 (runs)
      << add(RX, I(1))                // $002 skipped
      << add(RX, I(2))                // $003 runs
      << add(RX, I(4))                // $004 skipped
      << jmpA(10, false)              // $005 -> $00A
      << NOP                          // $006
      << add(RY, I(1))                // $007 subroutine: all three run
      << add(RY, I(2))                // $008
      << cond(RET_, add(RY, I(4)))    // $009
      << NOP;                         // $00A
    p.finish();
    Ran r = run(p);
    EXPECT_EQ(r.reg(RX), 2u);
    EXPECT_EQ(r.reg(RY), 7u);
}

TEST(Cog, SkipfLeapsOverSkippedInstructionsWithoutClocks)
{
    // Between two GETCTs: SKIPF, then 4 instructions of which the middle two
    // are leapt over: 2 (SKIPF) + 2 + 2 clocks.
    Program p;
    p << getct(0x130) << dForm(sub9::SKIPF, I(0b0110)) << add(RX, I(1)) << add(RX, I(2)) << add(RX, I(4))
      << add(RX, I(8)) << getct(0x131);
    p.finish();
    Ran r = run(p);
    EXPECT_EQ(r.reg(RX), 9u);
    EXPECT_EQ(r.reg(0x131) - r.reg(0x130), 2u + 2u + 2u + 2u);
}

TEST(Cog, PinSpansSetDirAndOutOfSeveralPins)
{
    Program p;
    p << dForm(sub9::DRVH, I(4 | 3 << 6))                                     // pins 4..7 driven high
      << dForm(sub9::DIRL, I(6))                                              // pin 6 floats again
      << augd(0x1E << 6) << dForm(sub9::OUTH, I(((0x1E << 6) & 0x1FF) | 34)); // 31 pins from 34: 34..63, then 32
    p.finish();
    Ran r = run(p);
    EXPECT_EQ(r.reg(DIRA), 0xB0u);
    EXPECT_EQ(r.reg(OUTA), 0xF0u);
    EXPECT_EQ(r.reg(OUTA + 1), 0xFFFFFFFDu);
}

TEST(Cog, AltdAndAltsSubstituteFields)
{
    Program p;
    p.set(0x142, 0x77).set(RD, 2);
    p << grp(op9::ALTD, RD, I(0x140)) << mov(0, I(9));  // D = $140 + 2
    p << grp(op9::ALTS, RD, I(0x140)) << mov(RX, R(0)); // RX = reg[$142]
    p.finish();
    Ran r = run(p);
    EXPECT_EQ(r.reg(0x142), 9u);
    EXPECT_EQ(r.reg(RX), 9u);
}

TEST(Cog, HubExecStartsOnlyByABranch)
{
    // A long at hub $400 would run in hub exec; code at cog $3FF rolls to $000.
    Program p;
    p << jmpA(0x1000, false); // to hub $1000
    auto bytes = p.bytes();
    bytes.resize(0x1100, 0);
    const std::uint32_t hub[] = {mov(RD, I(0x42)), loc(0, 0x1100, false), cogstop(I(0))};
    for (std::size_t i = 0; i < std::size(hub); ++i)
        for (int b = 0; b < 4; ++b)
            bytes[0x1000 + 4 * i + std::size_t(b)] = std::uint8_t(hub[i] >> (8 * b));
    Chip chip;
    ASSERT_TRUE(chip.loadImage(bytes));
    EXPECT_EQ(chip.runUntil(100000), Chip::StopReason::AllStopped);
    EXPECT_EQ(chip.cogRegister(0, RD), 0x42u);
    EXPECT_EQ(chip.cogRegister(0, PA), 0x1100u);
}

// ---- timing ----

// Clocks an instruction sequence takes, measured with GETCT around it, at
// each of 8 consecutive start clocks (hub phases).
std::vector<std::uint32_t> clocksByPhase(const std::vector<std::uint32_t> &seq)
{
    std::vector<std::uint32_t> out;
    for (std::uint32_t phase = 0; phase < 8; ++phase) {
        Program p;
        p << waitx(I(phase)) << getct(0x130);
        for (std::uint32_t w : seq)
            p << w;
        p << getct(0x131);
        p.finish();
        Ran r = run(p);
        out.push_back(r.reg(0x131) - r.reg(0x130) - 2);
    }
    return out;
}

bool isRotationOf(std::vector<std::uint32_t> got, const std::vector<std::uint32_t> &want)
{
    for (std::size_t k = 0; k < want.size(); ++k) {
        if (got == want)
            return true;
        std::rotate(got.begin(), got.begin() + 1, got.end());
    }
    return false;
}

TEST(Timing, DocumentedAndMeasuredAnchors)
{
    EXPECT_EQ(clocksByPhase({NOP}), std::vector<std::uint32_t>(8, 2));
    EXPECT_EQ(clocksByPhase({waitx(I(0))}), std::vector<std::uint32_t>(8, 2));
    EXPECT_EQ(clocksByPhase({waitx(I(3))}), std::vector<std::uint32_t>(8, 5));
    EXPECT_EQ(clocksByPhase({jmpA(0, true)}), std::vector<std::uint32_t>(8, 4));
    EXPECT_EQ(clocksByPhase({add(RD, I(1)), cond(IF_C, add(RD, I(1)))}), std::vector<std::uint32_t>(8, 4));
    const auto qmulClocks = clocksByPhase({qmul(R(RD), R(RS))});
    EXPECT_TRUE(isRotationOf(qmulClocks, {2, 9, 8, 7, 6, 5, 4, 3})) << ::testing::PrintToString(qmulClocks);
    const auto getq = clocksByPhase({qmul(R(RD), R(RS)), getqx(RX)});
    EXPECT_TRUE(isRotationOf(getq, {60, 67, 66, 65, 64, 63, 62, 61})) << ::testing::PrintToString(getq);
    // A hub read takes 9..16 clocks, a write 3..10, by slice.
    const auto rd = clocksByPhase({rdlong(RX, I(0x80))});
    EXPECT_EQ(std::set<std::uint32_t>(rd.begin(), rd.end()), (std::set<std::uint32_t>{9, 10, 11, 12, 13, 14, 15, 16}));
    const auto wr = clocksByPhase({wrlong(R(RX), I(0x80))});
    EXPECT_EQ(std::set<std::uint32_t>(wr.begin(), wr.end()), (std::set<std::uint32_t>{3, 4, 5, 6, 7, 8, 9, 10}));
}

TEST(Timing, DocumentedClockCountsPerInstruction)
{
    auto setOf = [](const std::vector<std::uint32_t> &v) { return std::set<std::uint32_t>(v.begin(), v.end()); };
    // DJNZ: 2 when it falls through, 4 when it branches (to the next instruction here).
    EXPECT_EQ(clocksByPhase({mov(RD, I(1)), djnz(RD, I(0))}), std::vector<std::uint32_t>(8, 2 + 2));
    EXPECT_EQ(clocksByPhase({mov(RD, I(2)), djnz(RD, I(0))}), std::vector<std::uint32_t>(8, 2 + 4));
    EXPECT_EQ(clocksByPhase({rdlut(RX, I(5))}), std::vector<std::uint32_t>(8, 3));
    EXPECT_EQ(clocksByPhase({grp(0x149, RX, R(RS))}), std::vector<std::uint32_t>(8, 7)); // MULPIX
    // CALLA writes the return long to hub at PTRA++: 5..12; RETA reads it back: 11..18.
    // The sequence sits at $002..: CALLA at $004 jumps to the NOP at $005.
    const auto calla = clocksByPhase({mov(0x133, I(5)), mov(PTRA, I(0x100)), dForm(sub9::CALLA, R(0x133)), NOP});
    EXPECT_EQ(setOf(calla).size(), 8u);
    EXPECT_EQ(*setOf(calla).begin(), 6u + 5u);
    EXPECT_EQ(*setOf(calla).rbegin(), 6u + 12u);
}

TEST(Timing, CoginitToTheNewCogsFirstGetct)
{
    std::set<std::uint32_t> seen;
    for (std::uint32_t phase = 0; phase < 8; ++phase) {
        Program p;
        p.set(RD, 0x1000) << waitx(I(phase)) << getct(0x130) << coginit(I(1), R(RD));
        p << waitx(I(0x1FF)) << waitx(I(0x1FF));
        p.finish();
        auto bytes = p.bytes();
        bytes.resize(0x1000 + 0x800, 0);
        // Cog 1 writes its first GETCT to hub $904.
        const std::uint32_t childFixed[] = {getct(0x30), augs(0x904), wrlong(R(0x30), I(0x904 & 0x1FF)), cogstop(I(1))};
        for (std::size_t i = 0; i < std::size(childFixed); ++i)
            for (int b = 0; b < 4; ++b)
                bytes[0x1000 + 4 * i + std::size_t(b)] = std::uint8_t(childFixed[i] >> (8 * b));
        Chip chip;
        ASSERT_TRUE(chip.loadImage(bytes));
        chip.runUntil(100000);
        const std::uint32_t t0 = chip.cogRegister(0, 0x130);
        const std::uint32_t t1 = chip.hub().readLong(0x904);
        seen.insert(t1 - (t0 + 2)); // from the COGINIT's first clock
    }
    EXPECT_EQ(seen, (std::set<std::uint32_t>{534, 535, 536, 537, 538, 539, 540, 541}));
}

TEST(Events, Ct1PassesTargetAndWaitct1WakesThere)
{
    Program p;
    p << getct(0x130) << mov(0x132, R(0x130)) << addct1(0x132, I(200)) << event(WAITCT1) << getct(0x131);
    p << event(POLLCT1, WC); // cleared by the wait
    p.finish();
    Ran r = run(p);
    const std::uint32_t target = r.reg(0x130) + 200;
    EXPECT_GE(r.reg(0x131), target);
    EXPECT_LE(r.reg(0x131), target + 4);
    EXPECT_FALSE(r.c());
}

TEST(Events, WaitWithSetqTimeoutSetsC)
{
    Program p;
    p << getct(0x130) << mov(0x132, R(0x130)) << add(0x132, I(100)) << setq(R(0x132)) << event(WAITATN, WC)
      << getct(0x131);
    p.finish();
    Ran r = run(p);
    EXPECT_TRUE(r.c());
    EXPECT_GE(r.reg(0x131) - r.reg(0x130), 100u);
    EXPECT_LE(r.reg(0x131) - r.reg(0x130), 110u);
}

TEST(Scheduler, LongWaitsCostNoHostTime)
{
    // 10 simulated seconds of WAITX at 20 MHz: 200 M clocks in a handful of steps.
    Program p;
    p << augd(0x7FFFFFFF) << waitx(I(0x1FF)) << jmpA(0, false);
    Ran r = run(p, Clock(200000000));
    EXPECT_EQ(r.stop, Chip::StopReason::Limit);
    EXPECT_LT(r.chip->instructions(), 1000u);
}

// ---- hostile input ----

TEST(Hostile, BadImagesAreRefused)
{
    Chip chip;
    std::string error;
    EXPECT_FALSE(chip.loadImage({}, &error));
    EXPECT_NE(error.find("empty"), std::string::npos);
    EXPECT_FALSE(chip.loadImage(std::vector<std::uint8_t>(kHubSize + 1, 0), &error));
    EXPECT_NE(error.find("larger"), std::string::npos);
    // A truncated image (not a multiple of 4) loads: the rest of hub RAM is 0.
    EXPECT_TRUE(chip.loadImage({0x00, 0x00, 0x00}, &error));
}

TEST(Hostile, UnknownEncodingStopsWithCogPcAndLong)
{
    Program p;
    p << NOP << (0xF0000000u | 0x5Eu << 21 | 1u << 20); // an empty slot of the table
    Ran r = run(p);
    EXPECT_EQ(r.stop, Chip::StopReason::Fault);
    EXPECT_NE(r.chip->faultMessage().find("cog 0, PC $00001"), std::string::npos) << r.chip->faultMessage();
    EXPECT_NE(r.chip->faultMessage().find("$FBD00000"), std::string::npos) << r.chip->faultMessage();
}

TEST(Hostile, RunawayProgramsEndAtTheTimeLimit)
{
    Program p;
    p << jmpA(0x7F000, false); // into unwritten hub RAM: NOPs to the end and around
    Ran r = run(p, 3000000);
    EXPECT_EQ(r.stop, Chip::StopReason::Limit);
    Program q;
    q << jmpA(0xFFFFC, true); // JMP #$ for ever
    Ran s = run(q, 100000);
    EXPECT_EQ(s.stop, Chip::StopReason::Limit);
}

// ---- decoder and disassembler ----

TEST(Isa, EveryTableRowDecodesToItself)
{
    int n = 0;
    const OpInfo *rows = opTable(&n);
    ASSERT_GT(n, 350);
    for (int i = 0; i < n; ++i) {
        std::uint32_t w = rows[i].value | 0xF0000000u;
        if (rows[i].op == Op::NOP)
            w = 0;
        if (rows[i].czRule == CzRule::OneOf || rows[i].flags == FlagForm::AnyRequired)
            w |= (1u << 20) & ~rows[i].mask; // exactly one of C/Z, or a flag it needs
        EXPECT_EQ(decode(w), rows[i].op) << rows[i].mnemonic << " " << rows[i].sheetClocks;
    }
}

TEST(Isa, DisassemblesLikeTheAssembler)
{
    const struct {
        std::uint32_t instr, pc;
        const char *text;
    } cases[] = {
        {0, 0, "nop"},
        {mov(0x10, I(5), WZ), 0, "mov     $010, #$5 wz"},
        {cond(IF_NC, add(0x1F6, R(0x11))), 0, "if_nc add     PA, $011"},
        {cond(RET_, wrlong(R(0x20), ptrPost(false, 1))), 0, "_ret_ wrlong  $020, ptra++"},
        {rdlong(0x20, ptrPre(true, -1), WC), 0, "rdlong  $020, --ptrb wc"},
        {jmpA(0xFFFFC, true), 0x10, "jmp     #$10"},
        {jmpA(0x400, false), 0, "jmp     #\\$400"},
        {augs(0x12345600), 0, "augs    #$12345600"},
        {0xFBD00000u, 0, "long    $FBD00000 (no instruction)"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(disassemble(c.instr, c.pc), c.text);
}

} // namespace
