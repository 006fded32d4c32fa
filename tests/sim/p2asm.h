#pragma once
// A small P2 instruction encoder for tests: one function per instruction form,
// opcodes written out from the silicon documentation's encoding table (not
// taken from the simulator's own table, so that the tests check it).
#include "chip/chip.h"

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace kivo::test::p2 {

// Longs as the little-endian bytes of a hub image.
inline std::vector<std::uint8_t> ImageBytes(const std::vector<std::uint32_t> &longs)
{
    std::vector<std::uint8_t> b;
    for (std::uint32_t w : longs)
        for (int i = 0; i < 4; ++i)
            b.push_back(std::uint8_t(w >> (8 * i)));
    return b;
}

// Conditions (EEEE) and flag suffixes.
enum Cond : std::uint32_t {
    RET_ = 0x0,
    IF_NC_AND_NZ = 0x1,
    IF_NC_AND_Z = 0x2,
    IF_NC = 0x3,
    IF_C_AND_NZ = 0x4,
    IF_NZ = 0x5,
    IF_C_NE_Z = 0x6,
    IF_NC_OR_NZ = 0x7,
    IF_C_AND_Z = 0x8,
    IF_C_EQ_Z = 0x9,
    IF_Z = 0xA,
    IF_NC_OR_Z = 0xB,
    IF_C = 0xC,
    IF_C_OR_NZ = 0xD,
    IF_C_OR_Z = 0xE,
    ALWAYS = 0xF
};
enum Fl : std::uint32_t { NONE = 0, WZ = 1u << 19, WC = 1u << 20, WCZ = 3u << 19 };

// An operand: register or 9-bit immediate.
struct Opnd {
    std::uint32_t v;
    bool imm;
};
inline Opnd R(std::uint32_t r) { return {r & 0x1FF, false}; }
inline Opnd I(std::uint32_t v) { return {v & 0x1FF, true}; }

inline std::uint32_t cond(Cond c, std::uint32_t instr) { return (instr & 0x0FFFFFFFu) | std::uint32_t(c) << 28; }

// EEEE ooooooo CZI DDDDDDDDD SSSSSSSSS
inline std::uint32_t dsForm(std::uint32_t op7, std::uint32_t d, Opnd s, std::uint32_t flags = NONE)
{
    return 0xF0000000u | op7 << 21 | flags | (s.imm ? 1u << 18 : 0) | (d & 0x1FF) << 9 | s.v;
}
// EEEE ooooooo oLI DDDDDDDDD SSSSSSSSS ({#}D,{#}S)
inline std::uint32_t dlsForm(std::uint32_t op8, Opnd d, Opnd s)
{
    return 0xF0000000u | op8 << 20 | (d.imm ? 1u << 19 : 0) | (s.imm ? 1u << 18 : 0) | d.v << 9 | s.v;
}
// EEEE 1101011 CZL DDDDDDDDD sssssssss ({#}D with a sub-opcode in S)
inline std::uint32_t dForm(std::uint32_t sub, Opnd d, std::uint32_t flags = NONE)
{
    return 0xF0000000u | 0x6Bu << 21 | flags | (d.imm ? 1u << 18 : 0) | d.v << 9 | (sub & 0x1FF);
}
// EEEE ooooooo RAA AAAAAAAAA AAAAAAAAA
inline std::uint32_t aForm(std::uint32_t op7, std::uint32_t a, bool relative)
{
    return 0xF0000000u | op7 << 21 | (relative ? 1u << 20 : 0) | (a & 0xFFFFF);
}

// Math and logic, D,{#}S {WC/WZ/WCZ}
namespace op {
constexpr std::uint32_t ROR = 0x00, ROL = 0x01, SHR = 0x02, SHL = 0x03, RCR = 0x04, RCL = 0x05, SAR = 0x06, SAL = 0x07,
                        ADD = 0x08, ADDX = 0x09, ADDS = 0x0A, ADDSX = 0x0B, SUB = 0x0C, SUBX = 0x0D, SUBS = 0x0E,
                        SUBSX = 0x0F, CMP = 0x10, CMPX = 0x11, CMPS = 0x12, CMPSX = 0x13, CMPR = 0x14, CMPM = 0x15,
                        SUBR = 0x16, CMPSUB = 0x17, FGE = 0x18, FLE = 0x19, FGES = 0x1A, FLES = 0x1B, SUMC = 0x1C,
                        SUMNC = 0x1D, SUMZ = 0x1E, SUMNZ = 0x1F, TESTB = 0x20, TESTBN = 0x21, BITL = 0x20, BITH = 0x21,
                        BITC = 0x22, BITNC = 0x23, BITZ = 0x24, BITNZ = 0x25, BITRND = 0x26, BITNOT = 0x27, AND = 0x28,
                        ANDN = 0x29, OR = 0x2A, XOR = 0x2B, MUXC = 0x2C, MUXNC = 0x2D, MUXZ = 0x2E, MUXNZ = 0x2F,
                        MOV = 0x30, NOT = 0x31, ABS = 0x32, NEG = 0x33, NEGC = 0x34, NEGNC = 0x35, NEGZ = 0x36,
                        NEGNZ = 0x37, INCMOD = 0x38, DECMOD = 0x39, ZEROX = 0x3A, SIGNX = 0x3B, ENCOD = 0x3C,
                        ONES = 0x3D, TEST = 0x3E, TESTN = 0x3F;
} // namespace op

inline std::uint32_t alu(std::uint32_t op7, std::uint32_t d, Opnd s, std::uint32_t flags = NONE)
{
    return dsForm(op7, d, s, flags);
}
inline std::uint32_t mov(std::uint32_t d, Opnd s, std::uint32_t f = NONE) { return alu(op::MOV, d, s, f); }
inline std::uint32_t add(std::uint32_t d, Opnd s, std::uint32_t f = NONE) { return alu(op::ADD, d, s, f); }
inline std::uint32_t sub(std::uint32_t d, Opnd s, std::uint32_t f = NONE) { return alu(op::SUB, d, s, f); }
inline std::uint32_t cmp(std::uint32_t d, Opnd s, std::uint32_t f = NONE) { return alu(op::CMP, d, s, f); }

// Nibble/byte/word ops with N: EEEE 100000N NNI (nib), 1000110 NNI (byte set), 1000111 NNI (byte get),
// 1001000 NNI (byte rol), 1001001 0NI / 1NI (word set/get), 1001010 0NI (word rol).
inline std::uint32_t getnib(std::uint32_t d, Opnd s, std::uint32_t n)
{
    return 0xF0000000u | (0x42u | (n >> 2)) << 21 | (n & 3) << 19 | (s.imm ? 1u << 18 : 0) | d << 9 | s.v;
}
inline std::uint32_t setbyte(std::uint32_t d, Opnd s, std::uint32_t n)
{
    return 0xF0000000u | 0x46u << 21 | (n & 3) << 19 | (s.imm ? 1u << 18 : 0) | d << 9 | s.v;
}
inline std::uint32_t getword(std::uint32_t d, Opnd s, std::uint32_t n)
{
    return 0xF0000000u | 0x49u << 21 | 1u << 20 | (n & 1) << 19 | (s.imm ? 1u << 18 : 0) | d << 9 | s.v;
}
// EEEE 1001ooo ooI D S: the %1001 group with 2 extra opcode bits at 20..19.
inline std::uint32_t grp(std::uint32_t op9, std::uint32_t d, Opnd s)
{
    return 0xF0000000u | op9 << 19 | (s.imm ? 1u << 18 : 0) | d << 9 | s.v;
}
namespace op9 { // bits 27..19
constexpr std::uint32_t ALTSN = 0x12A, ALTGN = 0x12B, ALTR = 0x130, ALTD = 0x131, ALTS = 0x132, ALTB = 0x133,
                        ALTI = 0x134, SETR = 0x135, SETD = 0x136, SETS = 0x137, DECOD = 0x138, BMASK = 0x139,
                        CRCBIT = 0x13A, CRCNIB = 0x13B, MUXNITS = 0x13C, MUXNIBS = 0x13D, MUXQ = 0x13E, MOVBYTS = 0x13F,
                        MUL = 0x140, MULS = 0x142, SCA = 0x144, SCAS = 0x146, ADDCT1 = 0x14C, ADDCT2 = 0x14D,
                        ADDCT3 = 0x14E, WMLONG = 0x14F;
}

// Hub RAM: RDxxxx D,{#}S/P {WC/WZ/WCZ}; WRxxxx {#}D,{#}S/P.
inline std::uint32_t rdbyte(std::uint32_t d, Opnd s, std::uint32_t f = NONE) { return dsForm(0x56, d, s, f); }
inline std::uint32_t rdword(std::uint32_t d, Opnd s, std::uint32_t f = NONE) { return dsForm(0x57, d, s, f); }
inline std::uint32_t rdlong(std::uint32_t d, Opnd s, std::uint32_t f = NONE) { return dsForm(0x58, d, s, f); }
inline std::uint32_t wrbyte(Opnd d, Opnd s) { return dlsForm(0xC4, d, s); }
inline std::uint32_t wrword(Opnd d, Opnd s) { return dlsForm(0xC5, d, s); }
inline std::uint32_t wrlong(Opnd d, Opnd s) { return dlsForm(0xC6, d, s); }
inline std::uint32_t rdlut(std::uint32_t d, Opnd s, std::uint32_t f = NONE) { return dsForm(0x55, d, s, f); }
inline std::uint32_t wrlut(Opnd d, Opnd s) { return dlsForm(0xC3, d, s); }
// PTR expressions for S: %1SUPNNNNN (no AUGS).
inline Opnd ptr(bool ptrb, int index) { return I(0x100u | (ptrb ? 0x80u : 0) | (std::uint32_t(index) & 0x3F)); }
inline Opnd ptrPost(bool ptrb, int index) // PTRx++[index] / PTRx--[index]
{
    return I(0x100u | (ptrb ? 0x80u : 0) | 0x40u | 0x20u | (std::uint32_t(index) & 0x1F));
}
inline Opnd ptrPre(bool ptrb, int index) // ++PTRx[index] / --PTRx[index]
{
    return I(0x100u | (ptrb ? 0x80u : 0) | 0x40u | (std::uint32_t(index) & 0x1F));
}

// Branches
inline std::uint32_t jmpA(std::uint32_t a, bool relative) { return aForm(0x6C, a, relative); }
inline std::uint32_t callA(std::uint32_t a, bool relative) { return aForm(0x6D, a, relative); }
inline std::uint32_t loc(std::uint32_t w, std::uint32_t a, bool relative)
{
    return 0xF0000000u | (0x74u | (w & 3)) << 21 | (relative ? 1u << 20 : 0) | (a & 0xFFFFF);
}
inline std::uint32_t djnz(std::uint32_t d, Opnd s)
{
    return 0xF0000000u | 0x5Bu << 21 | 1u << 19 | (s.imm ? 1u << 18 : 0) | d << 9 | s.v;
}
inline std::uint32_t tjz(std::uint32_t d, Opnd s)
{
    return 0xF0000000u | 0x5Cu << 21 | 2u << 19 | (s.imm ? 1u << 18 : 0) | d << 9 | s.v;
}
inline std::uint32_t calld(std::uint32_t d, Opnd s, std::uint32_t f = NONE) { return dsForm(0x59, d, s, f); }
inline std::uint32_t callpa(Opnd d, Opnd s) { return dlsForm(0xB4, d, s); }
inline std::uint32_t rep(Opnd d, Opnd s) { return dlsForm(0xCD, d, s); }
inline std::uint32_t coginit(Opnd d, Opnd s, std::uint32_t f = NONE) { return dlsForm(0xCE, d, s) | f; }
inline std::uint32_t qmul(Opnd d, Opnd s) { return dlsForm(0xD0, d, s); }
inline std::uint32_t qdiv(Opnd d, Opnd s) { return dlsForm(0xD1, d, s); }
inline std::uint32_t wrpin(Opnd d, Opnd s) { return dlsForm(0xC0, d, s); }
inline std::uint32_t wxpin(Opnd d, Opnd s) { return dlsForm(0xC1, d, s); }
inline std::uint32_t wypin(Opnd d, Opnd s) { return dlsForm(0xC2, d, s); }
inline std::uint32_t rdpin(std::uint32_t d, Opnd s, std::uint32_t f = NONE)
{
    return 0xF0000000u | 0x54u << 21 | (f & WC) | 1u << 19 | (s.imm ? 1u << 18 : 0) | d << 9 | s.v;
}

// D-only group (sub-opcode in S)
namespace sub9 {
constexpr std::uint32_t HUBSET = 0x000, COGID = 0x001, COGSTOP = 0x003, LOCKNEW = 0x004, LOCKRET = 0x005,
                        LOCKTRY = 0x006, LOCKREL = 0x007, GETQX = 0x018, GETQY = 0x019, GETCT = 0x01A, GETRND = 0x01B,
                        WAITX = 0x01F, SETSE1 = 0x020, EVENT = 0x024, SETINT1 = 0x025, SETQ = 0x028, SETQ2 = 0x029,
                        PUSH = 0x02A, POP = 0x02B, JMP = 0x02C, CALL = 0x02D, RET = 0x02D, CALLA = 0x02E,
                        JMPREL = 0x030, SKIP = 0x031, SKIPF = 0x032, EXECF = 0x033, SETLUTS = 0x037, COGATN = 0x03F,
                        TESTP = 0x040, DIRL = 0x040, DIRH = 0x041, OUTL = 0x048, OUTH = 0x049, DRVL = 0x058,
                        DRVH = 0x059, DRVNOT = 0x05F, SPLITB = 0x060, MERGEB = 0x061, SPLITW = 0x062, MERGEW = 0x063,
                        RGBSQZ = 0x066, RGBEXP = 0x067, REV = 0x069, RCZR = 0x06A, RCZL = 0x06B, WRC = 0x06C,
                        WRNC = 0x06D, WRZ = 0x06E, WRNZ = 0x06F, MODCZ = 0x06F;
}
inline std::uint32_t jmp(std::uint32_t d, std::uint32_t f = NONE) { return dForm(sub9::JMP, R(d), f); }
inline std::uint32_t stalli() { return 0xF0000000u | 0x6Bu << 21 | 0x021u << 9 | 0x024u; }
inline std::uint32_t getct(std::uint32_t d, bool high = false) { return dForm(sub9::GETCT, R(d), high ? WC : NONE); }
inline std::uint32_t waitx(Opnd d) { return dForm(sub9::WAITX, d); }
inline std::uint32_t setq(Opnd d) { return dForm(sub9::SETQ, d); }
inline std::uint32_t setq2(Opnd d) { return dForm(sub9::SETQ2, d); }
inline std::uint32_t cogid(std::uint32_t d) { return dForm(sub9::COGID, R(d)); }
inline std::uint32_t cogstop(Opnd d) { return dForm(sub9::COGSTOP, d); }
inline std::uint32_t getqx(std::uint32_t d) { return dForm(sub9::GETQX, R(d)); }
inline std::uint32_t getqy(std::uint32_t d) { return dForm(sub9::GETQY, R(d)); }
inline std::uint32_t push(Opnd d) { return dForm(sub9::PUSH, d); }
inline std::uint32_t pop(std::uint32_t d, std::uint32_t f = NONE) { return dForm(sub9::POP, R(d), f); }
inline std::uint32_t ret(std::uint32_t f = NONE) { return dForm(sub9::RET, I(0), f); }
inline std::uint32_t wrc(std::uint32_t d) { return dForm(sub9::WRC, R(d)); }
inline std::uint32_t wrz(std::uint32_t d) { return dForm(sub9::WRZ, R(d)); }
inline std::uint32_t modcz(std::uint32_t c, std::uint32_t z) { return dForm(sub9::MODCZ, I(c << 4 | z), WCZ); }
inline std::uint32_t event(std::uint32_t code, std::uint32_t f = NONE) { return dForm(sub9::EVENT, R(code), f); }
// Event codes for event(): POLLxxx = n, WAITxxx = 16 + n.
constexpr std::uint32_t POLLCT1 = 1, WAITCT1 = 17, POLLATN = 14, WAITATN = 30;
inline std::uint32_t augs(std::uint32_t v) { return 0xFF000000u | (v >> 9 & 0x7FFFFF); }
inline std::uint32_t augd(std::uint32_t v) { return 0xFF800000u | (v >> 9 & 0x7FFFFF); }
inline std::uint32_t addct1(std::uint32_t d, Opnd s) { return grp(op9::ADDCT1, d, s); }
constexpr std::uint32_t NOP = 0;

// Registers
constexpr std::uint32_t PA = 0x1F6, PB = 0x1F7, PTRA = 0x1F8, PTRB = 0x1F9, DIRA = 0x1FA, OUTA = 0x1FC;

// A program: longs at hub $0, which cog 0 loads into $000.. and runs.
struct Program {
    std::vector<std::uint32_t> code;
    Program &operator<<(std::uint32_t instr)
    {
        code.push_back(instr);
        return *this;
    }
    // mov d, ##value (AUGS + MOV)
    Program &set(std::uint32_t d, std::uint32_t value)
    {
        if (value > 0x1FF)
            code.push_back(augs(value));
        code.push_back(mov(d, I(value & 0x1FF)));
        return *this;
    }
    std::uint32_t here() const { return std::uint32_t(code.size()); }
    // C and Z into $1EE/$1EF, then cog 0 stops itself.
    Program &finish()
    {
        code.push_back(wrc(0x1EE));
        code.push_back(wrz(0x1EF));
        code.push_back(cogstop(I(0)));
        return *this;
    }
    std::vector<std::uint8_t> bytes() const { return ImageBytes(code); }
};

} // namespace kivo::test::p2
