// Math, logic and bit handlers: results in D, C and Z by WC/WZ.
#include "chip/exec.h"
#include "chip/pixel.h"

namespace kivo::sim {

namespace {

std::uint32_t rev32(std::uint32_t v)
{
    v = ((v >> 1) & 0x55555555u) | ((v & 0x55555555u) << 1);
    v = ((v >> 2) & 0x33333333u) | ((v & 0x33333333u) << 2);
    v = ((v >> 4) & 0x0F0F0F0Fu) | ((v & 0x0F0F0F0Fu) << 4);
    return (v >> 24) | (v >> 8 & 0xFF00u) | (v << 8 & 0xFF0000u) | (v << 24);
}

// Width of the N-indexed field of SETNIB..ROLWORD, and how many bits N has.
constexpr int fieldWidth(Op op)
{
    return op == Op::SETNIB || op == Op::GETNIB || op == Op::ROLNIB      ? 4
           : op == Op::SETBYTE || op == Op::GETBYTE || op == Op::ROLBYTE ? 8
                                                                         : 16;
}
constexpr int fieldIndexBits(Op op) { return fieldWidth(op) == 4 ? 3 : fieldWidth(op) == 8 ? 2 : 1; }
constexpr std::uint32_t fieldMask(Op op) { return fieldWidth(op) == 16 ? 0xFFFFu : (1u << fieldWidth(op)) - 1; }

} // namespace

bool Cog::execNOP(std::uint32_t) { return true; }

// ---- shifts and rotates ----

template <Op op> bool Cog::execShift(std::uint32_t instr)
{
    const std::uint32_t d = dValue(instr), n = sValue(instr) & 31;
    // C: the last bit shifted out (the bit that would be, for a shift by 0).
    const bool right = op == Op::ROR || op == Op::SHR || op == Op::RCR || op == Op::SAR;
    const bool c = right ? (n ? (d >> (n - 1) & 1) : (d & 1)) : (n ? (d >> (32 - n) & 1) : (d >> 31));
    std::uint32_t r;
    if constexpr (op == Op::ROR)
        r = std::rotr(d, int(n));
    else if constexpr (op == Op::ROL)
        r = std::rotl(d, int(n));
    else if constexpr (op == Op::SHR)
        r = d >> n;
    else if constexpr (op == Op::SHL)
        r = d << n;
    else if constexpr (op == Op::RCR)
        r = n ? (d >> n) | ((m_c ? ~0u : 0u) << (32 - n)) : d;
    else if constexpr (op == Op::RCL)
        r = n ? (d << n) | ((m_c ? ~0u : 0u) >> (32 - n)) : d;
    else if constexpr (op == Op::SAR)
        r = std::uint32_t(std::int32_t(d) >> n);
    else // SAL
        r = n ? (d << n) | ((d & 1) ? ~0u >> (32 - n) : 0u) : d;
    result(instr, r);
    flags(instr, c, r == 0);
    return true;
}
bool Cog::execROR(std::uint32_t i) { return execShift<Op::ROR>(i); }
bool Cog::execROL(std::uint32_t i) { return execShift<Op::ROL>(i); }
bool Cog::execSHR(std::uint32_t i) { return execShift<Op::SHR>(i); }
bool Cog::execSHL(std::uint32_t i) { return execShift<Op::SHL>(i); }
bool Cog::execRCR(std::uint32_t i) { return execShift<Op::RCR>(i); }
bool Cog::execRCL(std::uint32_t i) { return execShift<Op::RCL>(i); }
bool Cog::execSAR(std::uint32_t i) { return execShift<Op::SAR>(i); }
bool Cog::execSAL(std::uint32_t i) { return execShift<Op::SAL>(i); }

// ---- add / subtract / compare ----

template <Op op> bool Cog::execAdd(std::uint32_t instr)
{
    const std::uint32_t d = dValue(instr), s = sValue(instr);
    constexpr bool x = op == Op::ADDX || op == Op::ADDSX;
    const std::uint64_t cin = x && m_c ? 1 : 0;
    const std::uint64_t sum = std::uint64_t(d) + s + cin;
    const std::uint32_t r = std::uint32_t(sum);
    bool c;
    if constexpr (op == Op::ADD || op == Op::ADDX)
        c = sum >> 32;
    else
        c = (std::int64_t(std::int32_t(d)) + std::int32_t(s) + std::int64_t(cin)) < 0;
    result(instr, r);
    flags(instr, c, x ? (m_z && r == 0) : r == 0);
    return true;
}
bool Cog::execADD(std::uint32_t i) { return execAdd<Op::ADD>(i); }
bool Cog::execADDX(std::uint32_t i) { return execAdd<Op::ADDX>(i); }
bool Cog::execADDS(std::uint32_t i) { return execAdd<Op::ADDS>(i); }
bool Cog::execADDSX(std::uint32_t i) { return execAdd<Op::ADDSX>(i); }

template <Op op> bool Cog::execSub(std::uint32_t instr)
{
    const std::uint32_t d = dValue(instr), s = sValue(instr);
    constexpr bool x = op == Op::SUBX || op == Op::SUBSX || op == Op::CMPX || op == Op::CMPSX;
    constexpr bool sgn = op == Op::SUBS || op == Op::SUBSX || op == Op::CMPS || op == Op::CMPSX;
    const std::uint64_t bin = x && m_c ? 1 : 0;
    const std::uint32_t r = std::uint32_t(std::uint64_t(d) - s - bin);
    const bool c = sgn ? (std::int64_t(std::int32_t(d)) - std::int32_t(s) - std::int64_t(bin)) < 0
                       : std::uint64_t(d) < std::uint64_t(s) + bin;
    if constexpr (op == Op::SUB || op == Op::SUBX || op == Op::SUBS || op == Op::SUBSX)
        result(instr, r);
    flags(instr, c, x ? (m_z && r == 0) : r == 0);
    return true;
}
bool Cog::execSUB(std::uint32_t i) { return execSub<Op::SUB>(i); }
bool Cog::execSUBX(std::uint32_t i) { return execSub<Op::SUBX>(i); }
bool Cog::execSUBS(std::uint32_t i) { return execSub<Op::SUBS>(i); }
bool Cog::execSUBSX(std::uint32_t i) { return execSub<Op::SUBSX>(i); }
bool Cog::execCMP(std::uint32_t i) { return execSub<Op::CMP>(i); }
bool Cog::execCMPX(std::uint32_t i) { return execSub<Op::CMPX>(i); }
bool Cog::execCMPS(std::uint32_t i) { return execSub<Op::CMPS>(i); }
bool Cog::execCMPSX(std::uint32_t i) { return execSub<Op::CMPSX>(i); }

bool Cog::execCMPR(std::uint32_t instr)
{
    const std::uint32_t d = dValue(instr), s = sValue(instr);
    flags(instr, s < d, s == d);
    return true;
}

bool Cog::execCMPM(std::uint32_t instr)
{
    const std::uint32_t d = dValue(instr), s = sValue(instr);
    flags(instr, (d - s) >> 31, d == s);
    return true;
}

bool Cog::execSUBR(std::uint32_t instr)
{
    const std::uint32_t d = dValue(instr), s = sValue(instr);
    const std::uint32_t r = s - d;
    result(instr, r);
    flags(instr, s < d, r == 0);
    return true;
}

bool Cog::execCMPSUB(std::uint32_t instr)
{
    const std::uint32_t d = dValue(instr), s = sValue(instr);
    const bool ge = d >= s;
    const std::uint32_t r = ge ? d - s : d;
    if (ge)
        result(instr, r);
    flags(instr, ge, r == 0);
    return true;
}

template <Op op> bool Cog::execForce(std::uint32_t instr)
{
    const std::uint32_t d = dValue(instr), s = sValue(instr);
    bool force;
    if constexpr (op == Op::FGE)
        force = d < s;
    else if constexpr (op == Op::FLE)
        force = d > s;
    else if constexpr (op == Op::FGES)
        force = std::int32_t(d) < std::int32_t(s);
    else
        force = std::int32_t(d) > std::int32_t(s);
    const std::uint32_t r = force ? s : d;
    result(instr, r);
    flags(instr, force, r == 0);
    return true;
}
bool Cog::execFGE(std::uint32_t i) { return execForce<Op::FGE>(i); }
bool Cog::execFLE(std::uint32_t i) { return execForce<Op::FLE>(i); }
bool Cog::execFGES(std::uint32_t i) { return execForce<Op::FGES>(i); }
bool Cog::execFLES(std::uint32_t i) { return execForce<Op::FLES>(i); }

template <Op op> bool Cog::execSum(std::uint32_t instr)
{
    const std::uint32_t d = dValue(instr), s = sValue(instr);
    const bool neg = op == Op::SUMC ? m_c : op == Op::SUMNC ? !m_c : op == Op::SUMZ ? m_z : !m_z;
    const std::int64_t t =
        neg ? std::int64_t(std::int32_t(d)) - std::int32_t(s) : std::int64_t(std::int32_t(d)) + std::int32_t(s);
    const std::uint32_t r = std::uint32_t(t);
    result(instr, r);
    flags(instr, t < 0, r == 0);
    return true;
}
bool Cog::execSUMC(std::uint32_t i) { return execSum<Op::SUMC>(i); }
bool Cog::execSUMNC(std::uint32_t i) { return execSum<Op::SUMNC>(i); }
bool Cog::execSUMZ(std::uint32_t i) { return execSum<Op::SUMZ>(i); }
bool Cog::execSUMNZ(std::uint32_t i) { return execSum<Op::SUMNZ>(i); }

// ---- bit tests and bit operations ----

template <Op op> bool Cog::execTestBit(std::uint32_t instr)
{
    const std::uint32_t d = dValue(instr), s = sValue(instr);
    constexpr bool invert = op == Op::TESTBN || op == Op::TESTBN_AND || op == Op::TESTBN_OR || op == Op::TESTBN_XOR;
    const bool bit = bool(d >> (s & 31) & 1) != invert;
    if (wcBit(instr))
        m_c = combineFlag<op>(m_c, bit);
    if (wzBit(instr))
        m_z = combineFlag<op>(m_z, bit);
    return true;
}
bool Cog::execTESTB(std::uint32_t i) { return execTestBit<Op::TESTB>(i); }
bool Cog::execTESTBN(std::uint32_t i) { return execTestBit<Op::TESTBN>(i); }
bool Cog::execTESTB_AND(std::uint32_t i) { return execTestBit<Op::TESTB_AND>(i); }
bool Cog::execTESTBN_AND(std::uint32_t i) { return execTestBit<Op::TESTBN_AND>(i); }
bool Cog::execTESTB_OR(std::uint32_t i) { return execTestBit<Op::TESTB_OR>(i); }
bool Cog::execTESTBN_OR(std::uint32_t i) { return execTestBit<Op::TESTBN_OR>(i); }
bool Cog::execTESTB_XOR(std::uint32_t i) { return execTestBit<Op::TESTB_XOR>(i); }
bool Cog::execTESTBN_XOR(std::uint32_t i) { return execTestBit<Op::TESTBN_XOR>(i); }

template <Op op> bool Cog::execBit(std::uint32_t instr)
{
    const std::uint32_t d = dValue(instr);
    std::uint32_t s = sValue(instr);
    if (m_qFresh == 1)
        s = (s & ~0x3E0u) | (m_q << 5 & 0x3E0u);
    const std::uint32_t first = s & 31, count = (s >> 5 & 31) + 1;
    std::uint32_t mask = 0;
    for (std::uint32_t k = 0; k < count; ++k)
        mask |= 1u << ((first + k) & 31);
    const bool orig = d >> first & 1;
    std::uint32_t r;
    if constexpr (op == Op::BITL)
        r = d & ~mask;
    else if constexpr (op == Op::BITH)
        r = d | mask;
    else if constexpr (op == Op::BITC)
        r = m_c ? d | mask : d & ~mask;
    else if constexpr (op == Op::BITNC)
        r = !m_c ? d | mask : d & ~mask;
    else if constexpr (op == Op::BITZ)
        r = m_z ? d | mask : d & ~mask;
    else if constexpr (op == Op::BITNZ)
        r = !m_z ? d | mask : d & ~mask;
    else if constexpr (op == Op::BITRND)
        r = (d & ~mask) | (m_chip.random(m_time) & mask);
    else
        r = d ^ mask;
    result(instr, r);
    flags(instr, orig, orig);
    return true;
}
bool Cog::execBITL(std::uint32_t i) { return execBit<Op::BITL>(i); }
bool Cog::execBITH(std::uint32_t i) { return execBit<Op::BITH>(i); }
bool Cog::execBITC(std::uint32_t i) { return execBit<Op::BITC>(i); }
bool Cog::execBITNC(std::uint32_t i) { return execBit<Op::BITNC>(i); }
bool Cog::execBITZ(std::uint32_t i) { return execBit<Op::BITZ>(i); }
bool Cog::execBITNZ(std::uint32_t i) { return execBit<Op::BITNZ>(i); }
bool Cog::execBITRND(std::uint32_t i) { return execBit<Op::BITRND>(i); }
bool Cog::execBITNOT(std::uint32_t i) { return execBit<Op::BITNOT>(i); }

// ---- logic ----

bool Cog::execAND(std::uint32_t i)
{
    logicResult(i, dValue(i) & sValue(i), true);
    return true;
}
bool Cog::execANDN(std::uint32_t i)
{
    logicResult(i, dValue(i) & ~sValue(i), true);
    return true;
}
bool Cog::execOR(std::uint32_t i)
{
    logicResult(i, dValue(i) | sValue(i), true);
    return true;
}
bool Cog::execXOR(std::uint32_t i)
{
    logicResult(i, dValue(i) ^ sValue(i), true);
    return true;
}
bool Cog::execTEST(std::uint32_t i)
{
    logicResult(i, dValue(i) & sValue(i), false);
    return true;
}
bool Cog::execTESTN(std::uint32_t i)
{
    logicResult(i, dValue(i) & ~sValue(i), false);
    return true;
}

template <Op op> bool Cog::execMux(std::uint32_t instr)
{
    const std::uint32_t d = dValue(instr), s = sValue(instr);
    const bool bit = op == Op::MUXC ? m_c : op == Op::MUXNC ? !m_c : op == Op::MUXZ ? m_z : !m_z;
    logicResult(instr, (d & ~s) | (bit ? s : 0), true);
    return true;
}
bool Cog::execMUXC(std::uint32_t i) { return execMux<Op::MUXC>(i); }
bool Cog::execMUXNC(std::uint32_t i) { return execMux<Op::MUXNC>(i); }
bool Cog::execMUXZ(std::uint32_t i) { return execMux<Op::MUXZ>(i); }
bool Cog::execMUXNZ(std::uint32_t i) { return execMux<Op::MUXNZ>(i); }

bool Cog::execMOV(std::uint32_t instr)
{
    const std::uint32_t s = sValue(instr);
    result(instr, s);
    flags(instr, s >> 31, s == 0);
    return true;
}

bool Cog::execNOT(std::uint32_t instr)
{
    const std::uint32_t r = ~sValue(instr);
    result(instr, r);
    flags(instr, r >> 31, r == 0);
    return true;
}

bool Cog::execABS(std::uint32_t instr)
{
    const std::uint32_t s = sValue(instr);
    const std::uint32_t r = std::int32_t(s) < 0 ? 0u - s : s;
    result(instr, r);
    flags(instr, s >> 31, r == 0);
    return true;
}

template <Op op> bool Cog::execNeg(std::uint32_t instr)
{
    const std::uint32_t s = sValue(instr);
    const bool neg = op == Op::NEG ? true : op == Op::NEGC ? m_c : op == Op::NEGNC ? !m_c : op == Op::NEGZ ? m_z : !m_z;
    const std::uint32_t r = neg ? 0u - s : s;
    result(instr, r);
    flags(instr, r >> 31, r == 0);
    return true;
}
bool Cog::execNEG(std::uint32_t i) { return execNeg<Op::NEG>(i); }
bool Cog::execNEGC(std::uint32_t i) { return execNeg<Op::NEGC>(i); }
bool Cog::execNEGNC(std::uint32_t i) { return execNeg<Op::NEGNC>(i); }
bool Cog::execNEGZ(std::uint32_t i) { return execNeg<Op::NEGZ>(i); }
bool Cog::execNEGNZ(std::uint32_t i) { return execNeg<Op::NEGNZ>(i); }

bool Cog::execINCMOD(std::uint32_t instr)
{
    const std::uint32_t d = dValue(instr), s = sValue(instr);
    const bool wrap = d == s;
    const std::uint32_t r = wrap ? 0 : d + 1;
    result(instr, r);
    flags(instr, wrap, r == 0);
    return true;
}

bool Cog::execDECMOD(std::uint32_t instr)
{
    const std::uint32_t d = dValue(instr), s = sValue(instr);
    const bool wrap = d == 0;
    const std::uint32_t r = wrap ? s : d - 1;
    result(instr, r);
    flags(instr, wrap, r == 0);
    return true;
}

bool Cog::execZEROX(std::uint32_t instr)
{
    const std::uint32_t d = dValue(instr), n = sValue(instr) & 31;
    const std::uint32_t r = n == 31 ? d : d & ((2u << n) - 1);
    result(instr, r);
    flags(instr, r >> 31, r == 0); // C = MSB of the result
    return true;
}

bool Cog::execSIGNX(std::uint32_t instr)
{
    const std::uint32_t d = dValue(instr), n = sValue(instr) & 31;
    const std::uint32_t r = sx(d, int(n) + 1);
    result(instr, r);
    flags(instr, r >> 31, r == 0);
    return true;
}

bool Cog::execENCOD(std::uint32_t instr)
{
    const std::uint32_t s = sValue(instr);
    const std::uint32_t r = s ? 31u - std::uint32_t(std::countl_zero(s)) : 0;
    result(instr, r);
    flags(instr, s != 0, r == 0);
    return true;
}

bool Cog::execONES(std::uint32_t instr)
{
    const std::uint32_t r = std::uint32_t(std::popcount(sValue(instr)));
    result(instr, r);
    flags(instr, r & 1, r == 0);
    return true;
}

// ---- nibbles, bytes, words ----

template <Op op> bool Cog::execSetField(std::uint32_t instr)
{
    constexpr std::uint32_t w = fieldWidth(op);
    const std::uint32_t n = nField(instr, fieldIndexBits(op));
    const std::uint32_t d = dValue(instr), s = sValue(instr);
    const std::uint32_t mask = fieldMask(op) << (n * w);
    result(instr, (d & ~mask) | ((s << (n * w)) & mask));
    return true;
}
bool Cog::execSETNIB(std::uint32_t i) { return execSetField<Op::SETNIB>(i); }
bool Cog::execSETBYTE(std::uint32_t i) { return execSetField<Op::SETBYTE>(i); }
bool Cog::execSETWORD(std::uint32_t i) { return execSetField<Op::SETWORD>(i); }

template <Op op> bool Cog::execGetField(std::uint32_t instr)
{
    constexpr std::uint32_t w = fieldWidth(op);
    const std::uint32_t n = nField(instr, fieldIndexBits(op));
    const std::uint32_t s = sValue(instr);
    result(instr, s >> (n * w) & fieldMask(op));
    return true;
}
bool Cog::execGETNIB(std::uint32_t i) { return execGetField<Op::GETNIB>(i); }
bool Cog::execGETBYTE(std::uint32_t i) { return execGetField<Op::GETBYTE>(i); }
bool Cog::execGETWORD(std::uint32_t i) { return execGetField<Op::GETWORD>(i); }

template <Op op> bool Cog::execRolField(std::uint32_t instr)
{
    constexpr std::uint32_t w = fieldWidth(op);
    const std::uint32_t n = nField(instr, fieldIndexBits(op));
    const std::uint32_t d = dValue(instr), s = sValue(instr);
    result(instr, d << w | (s >> (n * w) & fieldMask(op)));
    return true;
}
bool Cog::execROLNIB(std::uint32_t i) { return execRolField<Op::ROLNIB>(i); }
bool Cog::execROLBYTE(std::uint32_t i) { return execRolField<Op::ROLBYTE>(i); }
bool Cog::execROLWORD(std::uint32_t i) { return execRolField<Op::ROLWORD>(i); }

// ---- fields, masks, CRCs, muxes, multiplies ----

bool Cog::execSETR(std::uint32_t i)
{
    const std::uint32_t d = dValue(i), s = sValue(i);
    result(i, (d & ~0x0FF80000u) | (s & 0x1FF) << 19);
    return true;
}
bool Cog::execSETD(std::uint32_t i)
{
    const std::uint32_t d = dValue(i), s = sValue(i);
    result(i, (d & ~0x3FE00u) | (s & 0x1FF) << 9);
    return true;
}
bool Cog::execSETS(std::uint32_t i)
{
    const std::uint32_t d = dValue(i), s = sValue(i);
    result(i, (d & ~0x1FFu) | (s & 0x1FF));
    return true;
}
bool Cog::execDECOD(std::uint32_t i)
{
    result(i, 1u << (sValue(i) & 31));
    return true;
}
bool Cog::execBMASK(std::uint32_t i)
{
    const std::uint32_t n = sValue(i) & 31;
    result(i, n == 31 ? ~0u : (2u << n) - 1);
    return true;
}

bool Cog::execCRCBIT(std::uint32_t instr)
{
    const std::uint32_t d = dValue(instr), s = sValue(instr);
    result(instr, ((m_c ? 1u : 0u) ^ (d & 1)) ? (d >> 1) ^ s : d >> 1);
    return true;
}

bool Cog::execCRCNIB(std::uint32_t instr)
{
    std::uint32_t d = dValue(instr);
    const std::uint32_t s = sValue(instr);
    for (int k = 0; k < 4; ++k) {
        const bool bit = m_q >> 31 & 1;
        m_q <<= 1;
        d = ((bit ? 1u : 0u) ^ (d & 1)) ? (d >> 1) ^ s : d >> 1;
    }
    result(instr, d);
    prefix();
    return true;
}

template <int w> static std::uint32_t muxFields(std::uint32_t d, std::uint32_t s)
{
    std::uint32_t r = d;
    for (int k = 0; k < 32; k += w) {
        const std::uint32_t m = ((1u << w) - 1) << k;
        if (s & m)
            r = (r & ~m) | (s & m);
    }
    return r;
}
bool Cog::execMUXNITS(std::uint32_t i)
{
    const std::uint32_t d = dValue(i), s = sValue(i);
    result(i, muxFields<2>(d, s));
    return true;
}
bool Cog::execMUXNIBS(std::uint32_t i)
{
    const std::uint32_t d = dValue(i), s = sValue(i);
    result(i, muxFields<4>(d, s));
    return true;
}

bool Cog::execMUXQ(std::uint32_t i)
{
    const std::uint32_t d = dValue(i), s = sValue(i);
    result(i, (d & ~m_q) | (s & m_q));
    return true;
}

bool Cog::execMOVBYTS(std::uint32_t instr)
{
    const std::uint32_t d = dValue(instr), s = sValue(instr);
    std::uint32_t r = 0;
    for (int k = 0; k < 4; ++k)
        r |= (d >> (8 * (s >> (2 * k) & 3)) & 0xFF) << (8 * k);
    result(instr, r);
    return true;
}

bool Cog::execMUL(std::uint32_t instr)
{
    const std::uint32_t d = dValue(instr), s = sValue(instr);
    const std::uint32_t r = (d & 0xFFFF) * (s & 0xFFFF);
    result(instr, r);
    if (wzBit(instr))
        m_z = r == 0;
    return true;
}

bool Cog::execMULS(std::uint32_t instr)
{
    const std::uint32_t d = dValue(instr), s = sValue(instr);
    const std::uint32_t r =
        std::uint32_t(std::int32_t(std::int16_t(d & 0xFFFF)) * std::int32_t(std::int16_t(s & 0xFFFF)));
    result(instr, r);
    if (wzBit(instr))
        m_z = r == 0;
    return true;
}

// SCA/SCAS: the scaled product replaces the next instruction's S.
bool Cog::execSCA(std::uint32_t instr)
{
    const std::uint32_t d = dValue(instr), s = sValue(instr);
    m_scaValue = ((d & 0xFFFF) * (s & 0xFFFF)) >> 16;
    m_scaValid = true;
    if (wzBit(instr))
        m_z = m_scaValue == 0;
    prefix();
    return true;
}

bool Cog::execSCAS(std::uint32_t instr)
{
    const std::uint32_t d = dValue(instr), s = sValue(instr);
    m_scaValue = std::uint32_t((std::int32_t(std::int16_t(d & 0xFFFF)) * std::int32_t(std::int16_t(s & 0xFFFF))) >> 14);
    m_scaValid = true;
    if (wzBit(instr))
        m_z = m_scaValue == 0;
    prefix();
    return true;
}

// ---- pixels ----

template <Op op> bool Cog::execPix(std::uint32_t instr)
{
    const std::uint32_t d = dValue(instr), s = sValue(instr);
    if constexpr (op == Op::ADDPIX)
        result(instr, addPix(d, s));
    else if constexpr (op == Op::MULPIX)
        result(instr, mulPix(d, s));
    else if constexpr (op == Op::BLNPIX)
        result(instr, blnPix(d, s, std::uint8_t(m_pixV)));
    else
        result(instr, mixPix(d, s, std::uint8_t(m_pixV), std::uint8_t(m_pixM)));
    return true;
}
bool Cog::execADDPIX(std::uint32_t i) { return execPix<Op::ADDPIX>(i); }
bool Cog::execMULPIX(std::uint32_t i) { return execPix<Op::MULPIX>(i); }
bool Cog::execBLNPIX(std::uint32_t i) { return execPix<Op::BLNPIX>(i); }
bool Cog::execMIXPIX(std::uint32_t i) { return execPix<Op::MIXPIX>(i); }
bool Cog::execSETPIV(std::uint32_t i)
{
    m_pixV = dImm(i, immDAlone(i)) & 0xFF;
    return true;
}
bool Cog::execSETPIX(std::uint32_t i)
{
    m_pixM = dImm(i, immDAlone(i)) & 0x3F;
    return true;
}

// ---- D-only register ops ----

bool Cog::execSPLITB(std::uint32_t instr)
{
    const std::uint32_t d = dValue(instr);
    std::uint32_t r = 0;
    for (int b = 0; b < 4; ++b)
        for (int i = 0; i < 8; ++i)
            r |= (d >> (i * 4 + b) & 1) << (b * 8 + i);
    result(instr, r);
    return true;
}

bool Cog::execMERGEB(std::uint32_t instr)
{
    const std::uint32_t d = dValue(instr);
    std::uint32_t r = 0;
    for (int b = 0; b < 4; ++b)
        for (int i = 0; i < 8; ++i)
            r |= (d >> (b * 8 + i) & 1) << (i * 4 + b);
    result(instr, r);
    return true;
}

bool Cog::execSPLITW(std::uint32_t instr)
{
    const std::uint32_t d = dValue(instr);
    std::uint32_t r = 0;
    for (int i = 0; i < 16; ++i) {
        r |= (d >> (2 * i) & 1) << i;
        r |= (d >> (2 * i + 1) & 1) << (16 + i);
    }
    result(instr, r);
    return true;
}

bool Cog::execMERGEW(std::uint32_t instr)
{
    const std::uint32_t d = dValue(instr);
    std::uint32_t r = 0;
    for (int i = 0; i < 16; ++i) {
        r |= (d >> i & 1) << (2 * i);
        r |= (d >> (16 + i) & 1) << (2 * i + 1);
    }
    result(instr, r);
    return true;
}

bool Cog::execRGBSQZ(std::uint32_t instr)
{
    const std::uint32_t d = dValue(instr);
    result(instr, (d >> 27 & 0x1F) << 11 | (d >> 18 & 0x3F) << 5 | (d >> 11 & 0x1F));
    return true;
}

bool Cog::execRGBEXP(std::uint32_t instr)
{
    const std::uint32_t d = dValue(instr);
    const std::uint32_t r5 = d >> 11 & 0x1F, g6 = d >> 5 & 0x3F, b5 = d & 0x1F;
    const std::uint32_t r8 = r5 << 3 | r5 >> 2, g8 = g6 << 2 | g6 >> 4, b8 = b5 << 3 | b5 >> 2;
    result(instr, r8 << 24 | g8 << 16 | b8 << 8);
    return true;
}

bool Cog::execREV(std::uint32_t i)
{
    result(i, rev32(dValue(i)));
    return true;
}

bool Cog::execRCZR(std::uint32_t instr)
{
    const std::uint32_t d = dValue(instr);
    const std::uint32_t r = (m_c ? 0x80000000u : 0) | (m_z ? 0x40000000u : 0) | d >> 2;
    result(instr, r);
    flags(instr, d >> 1 & 1, d & 1);
    return true;
}

bool Cog::execRCZL(std::uint32_t instr)
{
    const std::uint32_t d = dValue(instr);
    const std::uint32_t r = d << 2 | (m_c ? 2u : 0u) | (m_z ? 1u : 0u);
    result(instr, r);
    flags(instr, d >> 31, d >> 30 & 1);
    return true;
}

bool Cog::execWRC(std::uint32_t i)
{
    result(i, m_c ? 1 : 0);
    return true;
}
bool Cog::execWRNC(std::uint32_t i)
{
    result(i, m_c ? 0 : 1);
    return true;
}
bool Cog::execWRZ(std::uint32_t i)
{
    result(i, m_z ? 1 : 0);
    return true;
}
bool Cog::execWRNZ(std::uint32_t i)
{
    result(i, m_z ? 0 : 1);
    return true;
}

bool Cog::execMODCZ(std::uint32_t instr)
{
    const unsigned cc = dField(instr) >> 4 & 15, zz = dField(instr) & 15;
    const bool nc = cc == 0 ? false : cc == 15 ? true : condMet(cc, m_c, m_z);
    const bool nz = zz == 0 ? false : zz == 15 ? true : condMet(zz, m_c, m_z);
    flags(instr, nc, nz);
    return true;
}

namespace {

std::uint32_t rol16(std::uint32_t v, int n) { return (v << n | v >> (16 - n)) & 0xFFFF; }

// One xoroshiro32++ step (a = 13, b = 5, c = 10, d = 9) on the state's two
// words; returns 16 bits of output.
std::uint32_t xoroStep(std::uint32_t &state)
{
    std::uint32_t s0 = state & 0xFFFF, s1 = state >> 16;
    const std::uint32_t out = (rol16((s0 + s1) & 0xFFFF, 9) + s0) & 0xFFFF;
    s1 ^= s0;
    s0 = rol16(s0, 13) ^ (s1 << 5 & 0xFFFF) ^ s1;
    s1 = rol16(s1, 10);
    state = s0 | s1 << 16;
    return out;
}

} // namespace

// XORO32: two xoroshiro32++ steps on D; their outputs (low word first) are
// the next instruction's S and Q.
bool Cog::execXORO32(std::uint32_t instr)
{
    std::uint32_t state = dValue(instr);
    const std::uint32_t lo = xoroStep(state);
    const std::uint32_t v = lo | xoroStep(state) << 16;
    result(instr, state);
    m_q = v;
    m_scaValid = true;
    m_scaValue = v;
    prefix();
    m_qFresh = 0; // Q holds the value now, not a SETQ's
    return true;
}
bool Cog::execSEUSSF(std::uint32_t instr)
{
    return faultHere(instr, "SEUSSF/SEUSSR are not modelled (the documentation gives only a picture)");
}
bool Cog::execSEUSSR(std::uint32_t instr) { return execSEUSSF(instr); }

bool Cog::execInvalid(std::uint32_t instr) { return faultHere(instr, "no instruction has this encoding"); }

// The quiet fast-path handlers of this file's plain ops.
Cog::FastHandler Cog::quietAluHandler(Op op)
{
    switch (op) {
        KIVO_QUIET(NOP)
        KIVO_QUIET(ROR)
        KIVO_QUIET(ROL)
        KIVO_QUIET(SHR)
        KIVO_QUIET(SHL)
        KIVO_QUIET(RCR)
        KIVO_QUIET(RCL)
        KIVO_QUIET(SAR)
        KIVO_QUIET(SAL)
        KIVO_QUIET(ADD)
        KIVO_QUIET(ADDX)
        KIVO_QUIET(ADDS)
        KIVO_QUIET(ADDSX)
        KIVO_QUIET(SUB)
        KIVO_QUIET(SUBX)
        KIVO_QUIET(SUBS)
        KIVO_QUIET(SUBSX)
        KIVO_QUIET(CMP)
        KIVO_QUIET(CMPX)
        KIVO_QUIET(CMPS)
        KIVO_QUIET(CMPSX)
        KIVO_QUIET(CMPR)
        KIVO_QUIET(CMPM)
        KIVO_QUIET(SUBR)
        KIVO_QUIET(CMPSUB)
        KIVO_QUIET(FGE)
        KIVO_QUIET(FLE)
        KIVO_QUIET(FGES)
        KIVO_QUIET(FLES)
        KIVO_QUIET(SUMC)
        KIVO_QUIET(SUMNC)
        KIVO_QUIET(SUMZ)
        KIVO_QUIET(SUMNZ)
        KIVO_QUIET(TESTB)
        KIVO_QUIET(TESTBN)
        KIVO_QUIET(TESTB_AND)
        KIVO_QUIET(TESTBN_AND)
        KIVO_QUIET(TESTB_OR)
        KIVO_QUIET(TESTBN_OR)
        KIVO_QUIET(TESTB_XOR)
        KIVO_QUIET(TESTBN_XOR)
        KIVO_QUIET(BITL)
        KIVO_QUIET(BITH)
        KIVO_QUIET(BITC)
        KIVO_QUIET(BITNC)
        KIVO_QUIET(BITZ)
        KIVO_QUIET(BITNZ)
        KIVO_QUIET(BITRND)
        KIVO_QUIET(BITNOT)
        KIVO_QUIET(AND)
        KIVO_QUIET(ANDN)
        KIVO_QUIET(OR)
        KIVO_QUIET(XOR)
        KIVO_QUIET(MUXC)
        KIVO_QUIET(MUXNC)
        KIVO_QUIET(MUXZ)
        KIVO_QUIET(MUXNZ)
        KIVO_QUIET(MOV)
        KIVO_QUIET(NOT)
        KIVO_QUIET(ABS)
        KIVO_QUIET(NEG)
        KIVO_QUIET(NEGC)
        KIVO_QUIET(NEGNC)
        KIVO_QUIET(NEGZ)
        KIVO_QUIET(NEGNZ)
        KIVO_QUIET(INCMOD)
        KIVO_QUIET(DECMOD)
        KIVO_QUIET(ZEROX)
        KIVO_QUIET(SIGNX)
        KIVO_QUIET(ENCOD)
        KIVO_QUIET(ONES)
        KIVO_QUIET(TEST)
        KIVO_QUIET(TESTN)
        KIVO_QUIET(SETNIB)
        KIVO_QUIET(GETNIB)
        KIVO_QUIET(ROLNIB)
        KIVO_QUIET(SETBYTE)
        KIVO_QUIET(GETBYTE)
        KIVO_QUIET(ROLBYTE)
        KIVO_QUIET(SETWORD)
        KIVO_QUIET(GETWORD)
        KIVO_QUIET(ROLWORD)
        KIVO_QUIET(SETR)
        KIVO_QUIET(SETD)
        KIVO_QUIET(SETS)
        KIVO_QUIET(DECOD)
        KIVO_QUIET(BMASK)
        KIVO_QUIET(CRCBIT)
        KIVO_QUIET(MUXNITS)
        KIVO_QUIET(MUXNIBS)
        KIVO_QUIET(MUXQ)
        KIVO_QUIET(MOVBYTS)
        KIVO_QUIET(MUL)
        KIVO_QUIET(MULS)
        KIVO_QUIET(SPLITB)
        KIVO_QUIET(MERGEB)
        KIVO_QUIET(SPLITW)
        KIVO_QUIET(MERGEW)
        KIVO_QUIET(RGBSQZ)
        KIVO_QUIET(RGBEXP)
        KIVO_QUIET(REV)
        KIVO_QUIET(RCZR)
        KIVO_QUIET(RCZL)
        KIVO_QUIET(WRC)
        KIVO_QUIET(WRNC)
        KIVO_QUIET(WRZ)
        KIVO_QUIET(WRNZ)
        KIVO_QUIET(MODCZ)
    default:
        return nullptr;
    }
}

} // namespace kivo::sim
