// The executor: one switch over the decoded op. Results and flags follow the
// Rev B/C silicon documentation's instruction descriptions.
#include "chip/chip.h"
#include "chip/cog.h"
#include "chip/cordic.h"
#include "chip/fifo.h"
#include "chip/pins.h"
#include "chip/pixel.h"
#include "chip/streamer.h"

#include <bit>

namespace kivo::sim {

namespace {

inline bool parity(std::uint32_t v) { return std::popcount(v) & 1; }
inline std::uint32_t sx(std::uint32_t v, int bits)
{
    return std::uint32_t(std::int32_t(v << (32 - bits)) >> (32 - bits));
}
inline bool condMet(unsigned cond, bool c, bool z) { return (cond >> (unsigned(c) * 2 + unsigned(z))) & 1; }

constexpr std::uint32_t kPA = 0x1F6, kPB = 0x1F7, kPTRA = 0x1F8, kPTRB = 0x1F9;

std::uint32_t rev32(std::uint32_t v)
{
    v = ((v >> 1) & 0x55555555u) | ((v & 0x55555555u) << 1);
    v = ((v >> 2) & 0x33333333u) | ((v & 0x33333333u) << 2);
    v = ((v >> 4) & 0x0F0F0F0Fu) | ((v & 0x0F0F0F0Fu) << 4);
    return (v >> 24) | (v >> 8 & 0xFF00u) | (v << 8 & 0xFF0000u) | (v << 24);
}

} // namespace

bool Cog::execute(std::uint32_t instr, Op op)
{
    const std::uint32_t dF = instr >> 9 & 0x1FF;
    const std::uint32_t sF = instr & 0x1FF;
    const bool wc = instr >> 20 & 1;
    const bool wz = instr >> 19 & 1;
    const bool iS = instr >> 18 & 1;
    const bool lD = instr >> 19 & 1; // {#}D,{#}S forms
    const bool lD1 = instr >> 18 & 1; // {#}D alone

    // Operand helpers. S: immediate (with a pending AUGS) or register; an SCA/
    // SCAS/XORO32/GETXACC result replaces the next S value.
    auto sImm = [&]() __attribute__((always_inline)) -> std::uint32_t {
        std::uint32_t v = sF;
        if (m_augsValid) {
            v |= m_augs;
            m_augsValid = false;
        }
        return v;
    };
    auto S = [&]() __attribute__((always_inline)) -> std::uint32_t {
        std::uint32_t v = iS ? sImm() : readReg(sF);
        if (m_scaValid) {
            v = m_scaValue;
            m_scaValid = false;
        }
        return v;
    };
    auto dImm = [&](bool imm) __attribute__((always_inline)) -> std::uint32_t {
        if (!imm)
            return readReg(dF);
        std::uint32_t v = dF;
        if (m_augdValid) {
            v |= m_augd;
            m_augdValid = false;
        }
        return v;
    };
    auto D = [&]() __attribute__((always_inline)) -> std::uint32_t { return readReg(dF); };
    auto result = [&](std::uint32_t v) __attribute__((always_inline)) {
        if (m_altR == -2)
            return;
        writeReg(m_altR >= 0 ? std::uint32_t(m_altR) : dF, v);
    };
    auto flags = [&](bool c, bool z) __attribute__((always_inline)) {
        if (wc)
            m_c = c;
        if (wz)
            m_z = z;
    };
    auto logicOp = [&](std::uint32_t r, bool write) __attribute__((always_inline)) {
        if (write)
            result(r);
        flags(parity(r), r == 0);
    };
    auto jumpS = [&](std::uint32_t s) __attribute__((always_inline)) {
        // #S: relative 9-bit instruction count; register: absolute.
        branch(iS ? relTarget9(s) : s);
    };
    auto nField = [&](int bits) __attribute__((always_inline)) -> std::uint32_t { return instr >> 19 & ((1u << bits) - 1); };
    auto prefix = [&]() __attribute__((always_inline)) {
        m_prefixSeen = true;
        m_shield = true;
        m_qDirect = false;
    };
    // Hub address from S/#/PTRx with its update: `scale` bytes per index.
    struct HubAddr {
        std::uint32_t addr = 0;
        int ptr = -1;          // PTRA/PTRB updated
        std::uint32_t ptrNew = 0;
        bool update = false;
        bool post = false;
        std::int32_t dir = 0;  // sign of the update (for block moves)
    };
    auto hubAddr = [&](std::uint32_t scale) -> HubAddr {
        HubAddr h;
        if (!iS) {
            h.addr = readReg(sF);
            if (m_scaValid) {
                h.addr = m_scaValue;
                m_scaValid = false;
            }
            return h;
        }
        const bool aug = m_augsValid;
        std::uint32_t v = sImm();
        if (!aug) {
            if (!(v & 0x100)) {
                h.addr = v;
                return h;
            }
            // %1SUPNNNNN: S = PTRB, U = update, P = post-modify.
            const int ptr = int(v >> 7 & 1);
            const bool upd = v >> 6 & 1;
            const std::uint32_t base = m_reg[kPTRA + std::uint32_t(ptr)];
            if (!upd) {
                h.addr = base + std::uint32_t(std::int32_t(sx(v, 6)) * std::int32_t(scale));
                return h;
            }
            std::int32_t idx = std::int32_t(sx(v, 5));
            if (idx == 0)
                idx = 16;
            const bool post = v >> 5 & 1;
            h.post = post;
            const std::uint32_t next = base + std::uint32_t(idx * std::int32_t(scale));
            h.addr = post ? base : next;
            h.ptr = ptr;
            h.ptrNew = next;
            h.update = true;
            h.dir = idx < 0 ? -1 : 1;
            return h;
        }
        if (!(v & 0x800000)) {
            h.addr = v;
            return h;
        }
        const int ptr = int(v >> 22 & 1);
        const bool upd = v >> 21 & 1;
        const bool post = v >> 20 & 1;
        h.post = post;
        const std::int32_t idx = std::int32_t(sx(v, 20));
        const std::uint32_t base = m_reg[kPTRA + std::uint32_t(ptr)];
        const std::uint32_t next = base + std::uint32_t(idx);
        if (!upd) {
            h.addr = next;
            return h;
        }
        h.addr = post ? base : next;
        h.ptr = ptr;
        h.ptrNew = next;
        h.update = true;
        h.dir = idx < 0 ? -1 : 1;
        return h;
    };
    // A block move (SETQ right before) moves PTRx by the block size; a
    // pre-decrement then starts the block at the new PTRx (a stack pop).
    auto blockStart = [&](HubAddr &h, std::uint32_t blockBytes) {
        if (h.update && blockBytes && !h.post && h.dir < 0)
            h.addr = m_reg[kPTRA + std::uint32_t(h.ptr)] - blockBytes;
    };
    auto applyPtr = [&](const HubAddr &h, std::uint32_t blockBytes) {
        if (!h.update)
            return;
        std::uint32_t v = h.ptrNew;
        if (blockBytes) {
            const std::uint32_t base = m_reg[kPTRA + std::uint32_t(h.ptr)];
            v = base + std::uint32_t(h.dir * std::int32_t(blockBytes));
        }
        m_reg[kPTRA + std::uint32_t(h.ptr)] = v;
    };
    auto pinSpan = [&](std::uint32_t v, auto &&fn) {
        // S[10:6] (or D[10:6]) more pins after S[5:0], wrapping within the port.
        const std::uint32_t first = v & 63;
        const std::uint32_t count = (v >> 6 & 31) + 1;
        for (std::uint32_t k = 0; k < count; ++k)
            fn(int((first & 32) | ((first + k) & 31)));
    };
    auto waitEvent = [&](int ev) -> bool {
        // Returns true when the wait has ended (event or timeout).
        if (!m_waiting) {
            m_waitTimeout = kNever;
            if (m_qFresh == 1) {
                // SETQ gives a CT target that ends the wait.
                const std::uint32_t target = m_q;
                Clock at = (m_time & ~Clock(0xFFFFFFFFu)) | target;
                if (at <= m_time)
                    at += Clock(1) << 32;
                m_waitTimeout = at;
            }
        }
        if (ev < 0 ? false : eventFlag(ev)) {
            clearEvent(ev);
            m_waiting = false;
            m_waitOnPins = false;
            flags(false, false);
            return true;
        }
        if (m_waitTimeout <= m_time) {
            m_waiting = false;
            m_waitOnPins = false;
            flags(true, true);
            return true;
        }
        Clock wake = std::min(ev < 0 ? kNever : eventWake(ev), m_waitTimeout);
        if (m_anyInt)
            wake = std::min(wake, interruptWake());
        if (wake <= m_time)
            wake = m_time + 1;
        if (wake == kNever)
            wake = kNever - 1; // asleep until another cog or a pin wakes it
        m_waiting = true;
        m_waitOnPins = (ev >= EvSe1 && ev <= EvPat);
        m_time = wake;
        return false;
    };

    switch (op) {
    case Op::NOP: return true;

    // ---- shifts and rotates ----
    case Op::ROR: case Op::ROL: case Op::SHR: case Op::SHL: case Op::RCR: case Op::RCL: case Op::SAR:
    case Op::SAL: {
        const std::uint32_t d = D(), n = S() & 31;
        std::uint32_t r = d;
        bool c = false;
        switch (op) {
        case Op::ROR: r = std::rotr(d, int(n)); c = n ? (d >> (n - 1) & 1) : (d & 1); break;
        case Op::ROL: r = std::rotl(d, int(n)); c = n ? (d >> (32 - n) & 1) : (d >> 31); break;
        case Op::SHR: r = d >> n; c = n ? (d >> (n - 1) & 1) : (d & 1); break;
        case Op::SHL: r = d << n; c = n ? (d >> (32 - n) & 1) : (d >> 31); break;
        case Op::RCR:
            r = n ? (d >> n) | ((m_c ? ~0u : 0u) << (32 - n)) : d;
            c = n ? (d >> (n - 1) & 1) : (d & 1);
            break;
        case Op::RCL:
            r = n ? (d << n) | ((m_c ? ~0u : 0u) >> (32 - n)) : d;
            c = n ? (d >> (32 - n) & 1) : (d >> 31);
            break;
        case Op::SAR: r = std::uint32_t(std::int32_t(d) >> n); c = n ? (d >> (n - 1) & 1) : (d & 1); break;
        default: // SAL
            r = n ? (d << n) | ((d & 1) ? ~0u >> (32 - n) : 0u) : d;
            c = n ? (d >> (32 - n) & 1) : (d >> 31);
            break;
        }
        result(r);
        flags(c, r == 0);
        return true;
    }

    // ---- add / subtract / compare ----
    case Op::ADD: case Op::ADDX: case Op::ADDS: case Op::ADDSX: {
        const std::uint32_t d = D(), s = S();
        const bool x = op == Op::ADDX || op == Op::ADDSX;
        const std::uint64_t cin = x && m_c ? 1 : 0;
        const std::uint64_t sum = std::uint64_t(d) + s + cin;
        const std::uint32_t r = std::uint32_t(sum);
        bool c;
        if (op == Op::ADD || op == Op::ADDX)
            c = sum >> 32;
        else
            c = (std::int64_t(std::int32_t(d)) + std::int32_t(s) + std::int64_t(cin)) < 0;
        result(r);
        flags(c, x ? (m_z && r == 0) : r == 0);
        return true;
    }
    case Op::SUB: case Op::SUBX: case Op::SUBS: case Op::SUBSX: case Op::CMP: case Op::CMPX: case Op::CMPS:
    case Op::CMPSX: {
        const std::uint32_t d = D(), s = S();
        const bool x = op == Op::SUBX || op == Op::SUBSX || op == Op::CMPX || op == Op::CMPSX;
        const bool sgn = op == Op::SUBS || op == Op::SUBSX || op == Op::CMPS || op == Op::CMPSX;
        const std::uint64_t bin = x && m_c ? 1 : 0;
        const std::uint32_t r = std::uint32_t(std::uint64_t(d) - s - bin);
        const bool c = sgn ? (std::int64_t(std::int32_t(d)) - std::int32_t(s) - std::int64_t(bin)) < 0
                           : std::uint64_t(d) < std::uint64_t(s) + bin;
        if (op == Op::SUB || op == Op::SUBX || op == Op::SUBS || op == Op::SUBSX)
            result(r);
        flags(c, x ? (m_z && r == 0) : r == 0);
        return true;
    }
    case Op::CMPR: {
        const std::uint32_t d = D(), s = S();
        flags(s < d, s == d);
        return true;
    }
    case Op::CMPM: {
        const std::uint32_t d = D(), s = S();
        flags((d - s) >> 31, d == s);
        return true;
    }
    case Op::SUBR: {
        const std::uint32_t d = D(), s = S();
        const std::uint32_t r = s - d;
        result(r);
        flags(s < d, r == 0);
        return true;
    }
    case Op::CMPSUB: {
        const std::uint32_t d = D(), s = S();
        const bool ge = d >= s;
        const std::uint32_t r = ge ? d - s : d;
        if (ge)
            result(r);
        flags(ge, r == 0);
        return true;
    }
    case Op::FGE: case Op::FLE: case Op::FGES: case Op::FLES: {
        const std::uint32_t d = D(), s = S();
        bool force;
        if (op == Op::FGE)
            force = d < s;
        else if (op == Op::FLE)
            force = d > s;
        else if (op == Op::FGES)
            force = std::int32_t(d) < std::int32_t(s);
        else
            force = std::int32_t(d) > std::int32_t(s);
        const std::uint32_t r = force ? s : d;
        result(r);
        flags(force, r == 0);
        return true;
    }
    case Op::SUMC: case Op::SUMNC: case Op::SUMZ: case Op::SUMNZ: {
        const std::uint32_t d = D(), s = S();
        bool neg = op == Op::SUMC ? m_c : op == Op::SUMNC ? !m_c : op == Op::SUMZ ? m_z : !m_z;
        const std::int64_t t = neg ? std::int64_t(std::int32_t(d)) - std::int32_t(s)
                                   : std::int64_t(std::int32_t(d)) + std::int32_t(s);
        const std::uint32_t r = std::uint32_t(t);
        result(r);
        flags(t < 0, r == 0);
        return true;
    }

    // ---- bit tests and bit operations ----
    case Op::TESTB: case Op::TESTBN: case Op::TESTB_AND: case Op::TESTBN_AND: case Op::TESTB_OR:
    case Op::TESTBN_OR: case Op::TESTB_XOR: case Op::TESTBN_XOR: {
        const std::uint32_t d = D(), s = S();
        bool bit = d >> (s & 31) & 1;
        if (op == Op::TESTBN || op == Op::TESTBN_AND || op == Op::TESTBN_OR || op == Op::TESTBN_XOR)
            bit = !bit;
        auto combine = [&](bool old) {
            switch (op) {
            case Op::TESTB_AND: case Op::TESTBN_AND: return old && bit;
            case Op::TESTB_OR: case Op::TESTBN_OR: return old || bit;
            case Op::TESTB_XOR: case Op::TESTBN_XOR: return old != bit;
            default: return bit;
            }
        };
        if (wc)
            m_c = combine(m_c);
        if (wz)
            m_z = combine(m_z);
        return true;
    }
    case Op::BITL: case Op::BITH: case Op::BITC: case Op::BITNC: case Op::BITZ: case Op::BITNZ:
    case Op::BITRND: case Op::BITNOT: {
        const std::uint32_t d = D();
        std::uint32_t s = S();
        if (m_qFresh == 1)
            s = (s & ~0x3E0u) | (m_q << 5 & 0x3E0u);
        const std::uint32_t first = s & 31, count = (s >> 5 & 31) + 1;
        std::uint32_t mask = 0;
        for (std::uint32_t k = 0; k < count; ++k)
            mask |= 1u << ((first + k) & 31);
        const bool orig = d >> first & 1;
        std::uint32_t r = d;
        switch (op) {
        case Op::BITL: r = d & ~mask; break;
        case Op::BITH: r = d | mask; break;
        case Op::BITC: r = m_c ? d | mask : d & ~mask; break;
        case Op::BITNC: r = !m_c ? d | mask : d & ~mask; break;
        case Op::BITZ: r = m_z ? d | mask : d & ~mask; break;
        case Op::BITNZ: r = !m_z ? d | mask : d & ~mask; break;
        case Op::BITRND: r = (d & ~mask) | (m_chip.random(m_time) & mask); break;
        default: r = d ^ mask; break;
        }
        result(r);
        flags(orig, orig);
        return true;
    }

    // ---- logic ----
    case Op::AND: logicOp(D() & S(), true); return true;
    case Op::ANDN: logicOp(D() & ~S(), true); return true;
    case Op::OR: logicOp(D() | S(), true); return true;
    case Op::XOR: logicOp(D() ^ S(), true); return true;
    case Op::MUXC: case Op::MUXNC: case Op::MUXZ: case Op::MUXNZ: {
        const std::uint32_t d = D(), s = S();
        bool bit = op == Op::MUXC ? m_c : op == Op::MUXNC ? !m_c : op == Op::MUXZ ? m_z : !m_z;
        logicOp((d & ~s) | (bit ? s : 0), true);
        return true;
    }
    case Op::MOV: {
        const std::uint32_t s = S();
        result(s);
        flags(s >> 31, s == 0);
        return true;
    }
    case Op::NOT: {
        const std::uint32_t r = ~S();
        result(r);
        flags(r >> 31, r == 0);
        return true;
    }
    case Op::ABS: {
        const std::uint32_t s = S();
        const std::uint32_t r = std::int32_t(s) < 0 ? 0u - s : s;
        result(r);
        flags(s >> 31, r == 0);
        return true;
    }
    case Op::NEG: case Op::NEGC: case Op::NEGNC: case Op::NEGZ: case Op::NEGNZ: {
        const std::uint32_t s = S();
        bool neg = op == Op::NEG ? true : op == Op::NEGC ? m_c : op == Op::NEGNC ? !m_c : op == Op::NEGZ ? m_z : !m_z;
        const std::uint32_t r = neg ? 0u - s : s;
        result(r);
        flags(r >> 31, r == 0);
        return true;
    }
    case Op::INCMOD: {
        const std::uint32_t d = D(), s = S();
        const bool wrap = d == s;
        const std::uint32_t r = wrap ? 0 : d + 1;
        result(r);
        flags(wrap, r == 0);
        return true;
    }
    case Op::DECMOD: {
        const std::uint32_t d = D(), s = S();
        const bool wrap = d == 0;
        const std::uint32_t r = wrap ? s : d - 1;
        result(r);
        flags(wrap, r == 0);
        return true;
    }
    case Op::ZEROX: {
        const std::uint32_t d = D(), n = S() & 31;
        const std::uint32_t r = n == 31 ? d : d & ((2u << n) - 1);
        result(r);
        flags(r >> 31, r == 0); // "C = MSB of result
        return true;
    }
    case Op::SIGNX: {
        const std::uint32_t d = D(), n = S() & 31;
        const std::uint32_t r = sx(d, int(n) + 1);
        result(r);
        flags(r >> 31, r == 0);
        return true;
    }
    case Op::ENCOD: {
        const std::uint32_t s = S();
        const std::uint32_t r = s ? 31u - std::uint32_t(std::countl_zero(s)) : 0;
        result(r);
        flags(s != 0, r == 0);
        return true;
    }
    case Op::ONES: {
        const std::uint32_t r = std::uint32_t(std::popcount(S()));
        result(r);
        flags(r & 1, r == 0);
        return true;
    }
    case Op::TEST: logicOp(D() & S(), false); return true;
    case Op::TESTN: logicOp(D() & ~S(), false); return true;

    // ---- nibbles, bytes, words ----
    case Op::SETNIB: case Op::SETBYTE: case Op::SETWORD: {
        const int w = op == Op::SETNIB ? 4 : op == Op::SETBYTE ? 8 : 16;
        const std::uint32_t n = nField(op == Op::SETNIB ? 3 : op == Op::SETBYTE ? 2 : 1);
        const std::uint32_t d = D(), s = S();
        const std::uint32_t mask = (w == 16 ? 0xFFFFu : (1u << w) - 1) << (n * std::uint32_t(w));
        result((d & ~mask) | ((s << (n * std::uint32_t(w))) & mask));
        return true;
    }
    case Op::GETNIB: case Op::GETBYTE: case Op::GETWORD: {
        const int w = op == Op::GETNIB ? 4 : op == Op::GETBYTE ? 8 : 16;
        const std::uint32_t n = nField(op == Op::GETNIB ? 3 : op == Op::GETBYTE ? 2 : 1);
        const std::uint32_t s = S();
        result(s >> (n * std::uint32_t(w)) & (w == 16 ? 0xFFFFu : (1u << w) - 1));
        return true;
    }
    case Op::ROLNIB: case Op::ROLBYTE: case Op::ROLWORD: {
        const int w = op == Op::ROLNIB ? 4 : op == Op::ROLBYTE ? 8 : 16;
        const std::uint32_t n = nField(op == Op::ROLNIB ? 3 : op == Op::ROLBYTE ? 2 : 1);
        const std::uint32_t d = D(), s = S();
        result(d << w | (s >> (n * std::uint32_t(w)) & (w == 16 ? 0xFFFFu : (1u << w) - 1)));
        return true;
    }

    // ---- register indirection ----
    case Op::ALTSN: case Op::ALTGN: case Op::ALTSB: case Op::ALTGB: case Op::ALTSW: case Op::ALTGW:
    case Op::ALTR: case Op::ALTD: case Op::ALTS: case Op::ALTB: {
        const std::uint32_t d = D(), s = S();
        std::uint32_t field = 0, n = 0;
        int nBits = 0;
        bool dField = true;
        switch (op) {
        case Op::ALTSN: field = (d >> 3) + s; n = d & 7; nBits = 3; break;
        case Op::ALTGN: field = (d >> 3) + s; n = d & 7; nBits = 3; dField = false; break;
        case Op::ALTSB: field = (d >> 2) + s; n = d & 3; nBits = 2; break;
        case Op::ALTGB: field = (d >> 2) + s; n = d & 3; nBits = 2; dField = false; break;
        case Op::ALTSW: field = (d >> 1) + s; n = d & 1; nBits = 1; break;
        case Op::ALTGW: field = (d >> 1) + s; n = d & 1; nBits = 1; dField = false; break;
        case Op::ALTR: field = d + s; break;
        case Op::ALTD: field = d + s; break;
        case Op::ALTS: field = d + s; dField = false; break;
        default: field = (d >> 5) + s; break; // ALTB
        }
        field &= 0x1FF;
        if (op == Op::ALTR) {
            m_altR = int(field);
        } else {
            m_altActive = true;
            m_altClear = dField ? 0x3FE00u : 0x1FFu;
            m_altSet = dField ? field << 9 : field;
            if (nBits) {
                const std::uint32_t nmask = ((1u << nBits) - 1) << 19;
                m_altClear |= nmask;
                m_altSet |= n << 19;
            }
        }
        // S[17:9] sign-extended is added to D.
        const std::uint32_t inc = sx(s >> 9 & 0x1FF, 9);
        if (inc)
            writeReg(dF, d + inc);
        prefix();
        return true;
    }
    case Op::ALTI: {
        const std::uint32_t d = D(), s = S();
        std::uint32_t nd = d;
        auto stepField = [&](int shift, std::uint32_t maskSel, int mode) {
            // mode: 0 keep, 2 decrement, 3 increment (per the 3-bit field)
            const std::uint32_t bits = 9 - maskSel; // 000 = 9 bits .. 111 = 2 bits
            const std::uint32_t m = ((1u << bits) - 1) << shift;
            std::uint32_t v = nd >> shift;
            if (mode == 3)
                v += 1;
            else if (mode == 2)
                v -= 1;
            else
                return;
            nd = (nd & ~m) | ((v << shift) & m);
        };
        const std::uint32_t rrr = s >> 15 & 7, ddd = s >> 12 & 7, sss = s >> 9 & 7;
        const std::uint32_t RRR = s >> 6 & 7, DDD = s >> 3 & 7, SSS = s & 7;
        m_altClear = 0;
        m_altSet = 0;
        bool any = false;
        if (RRR == 1)
            m_altR = -2;
        else if (RRR >= 4 && RRR != 5)
            m_altR = int(d >> 19 & 0x1FF);
        if (RRR == 5) {
            m_altClear |= 0xFFFC0000u;
            m_altSet |= d & 0xFFFC0000u;
            any = true;
        }
        if (DDD & 4) {
            m_altClear |= 0x3FE00u;
            m_altSet |= d & 0x3FE00u;
            any = true;
        }
        if (SSS & 4) {
            m_altClear |= 0x1FFu;
            m_altSet |= d & 0x1FFu;
            any = true;
        }
        m_altActive = any;
        if (RRR == 2 || RRR == 3 || RRR == 6 || RRR == 7)
            stepField(19, rrr, (RRR & 1) ? 3 : 2);
        if ((DDD & 2))
            stepField(9, ddd, (DDD & 1) ? 3 : 2);
        if ((SSS & 2))
            stepField(0, sss, (SSS & 1) ? 3 : 2);
        if (nd != d)
            writeReg(dF, nd);
        prefix();
        return true;
    }
    case Op::SETR: { const std::uint32_t d = D(), s = S(); result((d & ~0x0FF80000u) | (s & 0x1FF) << 19); return true; }
    case Op::SETD: { const std::uint32_t d = D(), s = S(); result((d & ~0x3FE00u) | (s & 0x1FF) << 9); return true; }
    case Op::SETS: { const std::uint32_t d = D(), s = S(); result((d & ~0x1FFu) | (s & 0x1FF)); return true; }
    case Op::DECOD: { result(1u << (S() & 31)); return true; }
    case Op::BMASK: { const std::uint32_t n = S() & 31; result(n == 31 ? ~0u : (2u << n) - 1); return true; }
    case Op::CRCBIT: {
        const std::uint32_t d = D(), s = S();
        result(((m_c ? 1u : 0u) ^ (d & 1)) ? (d >> 1) ^ s : d >> 1);
        return true;
    }
    case Op::CRCNIB: {
        std::uint32_t d = D();
        const std::uint32_t s = S();
        for (int k = 0; k < 4; ++k) {
            const bool bit = m_q >> 31 & 1;
            m_q <<= 1;
            d = ((bit ? 1u : 0u) ^ (d & 1)) ? (d >> 1) ^ s : d >> 1;
        }
        result(d);
        prefix();
        return true;
    }
    case Op::MUXNITS: case Op::MUXNIBS: {
        const std::uint32_t d = D(), s = S();
        const int w = op == Op::MUXNITS ? 2 : 4;
        std::uint32_t r = d;
        for (int k = 0; k < 32; k += w) {
            const std::uint32_t m = ((1u << w) - 1) << k;
            if (s & m)
                r = (r & ~m) | (s & m);
        }
        result(r);
        return true;
    }
    case Op::MUXQ: { const std::uint32_t d = D(), s = S(); result((d & ~m_q) | (s & m_q)); return true; }
    case Op::MOVBYTS: {
        const std::uint32_t d = D(), s = S();
        std::uint32_t r = 0;
        for (int k = 0; k < 4; ++k)
            r |= (d >> (8 * (s >> (2 * k) & 3)) & 0xFF) << (8 * k);
        result(r);
        return true;
    }
    case Op::MUL: case Op::MULS: {
        const std::uint32_t d = D(), s = S();
        std::uint32_t r;
        if (op == Op::MUL)
            r = (d & 0xFFFF) * (s & 0xFFFF);
        else
            r = std::uint32_t(std::int32_t(std::int16_t(d & 0xFFFF)) * std::int32_t(std::int16_t(s & 0xFFFF)));
        result(r);
        if (wz)
            m_z = r == 0;
        return true;
    }
    case Op::SCA: case Op::SCAS: {
        const std::uint32_t d = D(), s = S();
        std::uint32_t r;
        if (op == Op::SCA)
            r = ((d & 0xFFFF) * (s & 0xFFFF)) >> 16;
        else
            r = std::uint32_t((std::int32_t(std::int16_t(d & 0xFFFF)) * std::int32_t(std::int16_t(s & 0xFFFF))) >> 14);
        m_scaValid = true;
        m_scaValue = r;
        if (wz)
            m_z = r == 0;
        prefix();
        return true;
    }
    case Op::ADDPIX: case Op::MULPIX: case Op::BLNPIX: case Op::MIXPIX: {
        const std::uint32_t d = D(), s = S();
        std::uint32_t r;
        if (op == Op::ADDPIX)
            r = addPix(d, s);
        else if (op == Op::MULPIX)
            r = mulPix(d, s);
        else if (op == Op::BLNPIX)
            r = blnPix(d, s, std::uint8_t(m_pixV));
        else
            r = mixPix(d, s, std::uint8_t(m_pixV), std::uint8_t(m_pixM));
        result(r);
        m_cost = 7;
        return true;
    }
    case Op::ADDCT1: case Op::ADDCT2: case Op::ADDCT3: {
        const std::uint32_t r = D() + S();
        result(r);
        setCtTarget(op == Op::ADDCT1 ? 0 : op == Op::ADDCT2 ? 1 : 2, r);
        return true;
    }

    // ---- hub RAM ----
    case Op::RDBYTE: case Op::RDWORD: case Op::RDLONG: {
        const std::uint32_t scale = op == Op::RDBYTE ? 1 : op == Op::RDWORD ? 2 : 4;
        const bool block = op == Op::RDLONG && m_qFresh != 0;
        const bool direct = m_qDirect;
        const int qKind = m_qFresh;
        HubAddr h = hubAddr(scale);
        const Clock wait = Clock(Hub::slotWait(m_id, h.addr, m_time));
        if (block) {
            const std::uint32_t n = (m_q & 0x1FF) + 1;
            if (direct)
                blockStart(h, 4 * n);
            for (std::uint32_t k = 0; k < n; ++k) {
                const std::uint32_t v = m_hub.readLong(h.addr + 4 * k);
                if (qKind == 2)
                    lutWrite((dF + k) & 0x1FF, v);
                else
                    writeReg((dF + k) & 0x1FF, v);
            }
            applyPtr(h, direct ? 4 * n : 0);
            m_cost = int(9 + wait + (n - 1));
            return true;
        }
        std::uint32_t v = scale == 1 ? m_hub.readByte(h.addr) : scale == 2 ? m_hub.readWord(h.addr) : m_hub.readLong(h.addr);
        applyPtr(h, 0);
        result(v);
        flags(v >> (scale * 8 - 1) & 1, v == 0);
        m_cost = int(9 + wait);
        return true;
    }
    case Op::WRBYTE: case Op::WRWORD: case Op::WRLONG: case Op::WMLONG: {
        const std::uint32_t scale = op == Op::WRBYTE ? 1 : op == Op::WRWORD ? 2 : 4;
        const bool immD = op == Op::WMLONG ? false : lD;
        const bool block = (op == Op::WRLONG || op == Op::WMLONG) && m_qFresh != 0;
        const bool direct = m_qDirect;
        const int qKind = m_qFresh;
        const std::uint32_t dv = dImm(immD);
        HubAddr h = hubAddr(scale);
        const Clock wait = Clock(Hub::slotWait(m_id, h.addr, m_time));
        auto put = [&](std::uint32_t addr, std::uint32_t v) {
            if (op == Op::WMLONG) {
                for (int b = 0; b < 4; ++b)
                    if (v >> (8 * b) & 0xFF)
                        m_hub.writeByte(addr + std::uint32_t(b), std::uint8_t(v >> (8 * b)));
            } else if (scale == 1) {
                m_hub.writeByte(addr, std::uint8_t(v));
            } else if (scale == 2) {
                m_hub.writeWord(addr, std::uint16_t(v));
            } else {
                m_hub.writeLong(addr, v);
            }
        };
        if (block) {
            const std::uint32_t n = (m_q & 0x1FF) + 1;
            if (direct)
                blockStart(h, 4 * n);
            for (std::uint32_t k = 0; k < n; ++k) {
                std::uint32_t v;
                if (immD)
                    v = dv; // an immediate fills the block
                else
                    v = qKind == 2 ? m_lut[(dF + k) & 0x1FF] : readReg((dF + k) & 0x1FF);
                put(h.addr + 4 * k, v);
            }
            applyPtr(h, direct ? 4 * n : 0);
            m_cost = int(3 + wait + (n - 1));
            return true;
        }
        put(h.addr, dv);
        applyPtr(h, 0);
        m_cost = int(3 + wait);
        return true;
    }
    case Op::RDLUT: {
        HubAddr h = hubAddr(1);
        const std::uint32_t v = lutRead(h.addr);
        applyPtr(h, 0);
        result(v);
        m_q = v;
        flags(v >> 31, v == 0);
        m_cost = 3;
        return true;
    }
    case Op::WRLUT: {
        const std::uint32_t dv = dImm(lD);
        HubAddr h = hubAddr(1);
        lutWrite(h.addr, dv);
        applyPtr(h, 0);
        return true;
    }

    // ---- branches ----
    case Op::CALLD: {
        const std::uint32_t s = S();
        const std::uint32_t w = callWord();
        // RETIx/RESIx end the interrupt whose IRET register they jump through.
        if (!iS && sF >= 0x1F1 && sF <= 0x1F5 && (sF & 1)) {
            const int ch = int((0x1F5 - sF) / 2);
            m_isrActive[std::size_t(ch)] = false;
        }
        result(w);
        if (wc)
            m_c = s >> 31 & 1;
        if (wz)
            m_z = s >> 30 & 1;
        jumpS(s);
        return true;
    }
    case Op::CALLPA: case Op::CALLPB: {
        const std::uint32_t dv = dImm(lD);
        const std::uint32_t s = S();
        writeReg(op == Op::CALLPA ? kPA : kPB, dv);
        push(callWord());
        if (m_skip) {
            m_skipSaved = m_skip;
            m_skipSavedFast = m_skipFast;
            m_skip = 0;
            m_skipCallDepth = 1;
        } else if (m_skipCallDepth) {
            ++m_skipCallDepth;
        }
        jumpS(s);
        return true;
    }
    case Op::DJZ: case Op::DJNZ: case Op::DJF: case Op::DJNF: case Op::IJZ: case Op::IJNZ: {
        const std::uint32_t d = D(), s = S();
        const std::uint32_t r = (op == Op::IJZ || op == Op::IJNZ) ? d + 1 : d - 1;
        result(r);
        bool take = false;
        switch (op) {
        case Op::DJZ: case Op::IJZ: take = r == 0; break;
        case Op::DJNZ: case Op::IJNZ: take = r != 0; break;
        case Op::DJF: take = r == 0xFFFFFFFFu; break;
        default: take = r != 0xFFFFFFFFu; break;
        }
        if (take)
            jumpS(s);
        return true;
    }
    case Op::TJZ: case Op::TJNZ: case Op::TJF: case Op::TJNF: case Op::TJS: case Op::TJNS: case Op::TJV: {
        const std::uint32_t d = D(), s = S();
        bool take = false;
        switch (op) {
        case Op::TJZ: take = d == 0; break;
        case Op::TJNZ: take = d != 0; break;
        case Op::TJF: take = d == 0xFFFFFFFFu; break;
        case Op::TJNF: take = d != 0xFFFFFFFFu; break;
        case Op::TJS: take = d >> 31; break;
        case Op::TJNS: take = !(d >> 31); break;
        default: take = bool(d >> 31) != m_c; break; // TJV: overflow after an add/sub
        }
        if (take)
            jumpS(s);
        return true;
    }
    case Op::JINT: case Op::JCT1: case Op::JCT2: case Op::JCT3: case Op::JSE1: case Op::JSE2: case Op::JSE3:
    case Op::JSE4: case Op::JPAT: case Op::JFBW: case Op::JXMT: case Op::JXFI: case Op::JXRO: case Op::JXRL:
    case Op::JATN: case Op::JQMT: case Op::JNINT: case Op::JNCT1: case Op::JNCT2: case Op::JNCT3: case Op::JNSE1:
    case Op::JNSE2: case Op::JNSE3: case Op::JNSE4: case Op::JNPAT: case Op::JNFBW: case Op::JNXMT: case Op::JNXFI:
    case Op::JNXRO: case Op::JNXRL: case Op::JNATN: case Op::JNQMT: {
        const int ev = int(dF & 15);
        const bool negate = dF & 16;
        const std::uint32_t s = S();
        const bool flag = eventFlag(ev);
        clearEvent(ev);
        if (flag != negate)
            jumpS(s);
        return true;
    }
    case Op::SETPAT: {
        m_patMask = dImm(lD);
        m_patMatch = S();
        m_patB = m_c;
        m_patEqual = m_z;
        m_flags &= ~(1u << EvPat);
        return true;
    }

    // ---- smart pins ----
    case Op::WRPIN: case Op::WXPIN: case Op::WYPIN: {
        const std::uint32_t dv = dImm(lD);
        std::uint32_t s = S();
        if (m_qFresh == 1)
            s = (s & ~0x7C0u) | (m_q << 6 & 0x7C0u);
        const Clock at = m_time;
        if (op == Op::WRPIN && lD && dF == 1 && !m_augdValid) // AKPIN
            pinSpan(s, [&](int pin) { m_pins.akpin(pin, at); });
        else if (op == Op::WRPIN)
            pinSpan(s, [&](int pin) { m_pins.wrpin(pin, dv, at); });
        else if (op == Op::WXPIN)
            pinSpan(s, [&](int pin) { m_pins.wxpin(pin, dv, at); });
        else
            pinSpan(s, [&](int pin) { m_pins.wypin(pin, dv, at); });
        return true;
    }
    case Op::RQPIN: case Op::RDPIN: {
        const std::uint32_t s = S();
        PinRead r = op == Op::RDPIN ? m_pins.rdpin(int(s & 63), m_time) : m_pins.rqpin(int(s & 63), m_time);
        result(r.z);
        if (wc)
            m_c = r.c;
        return true;
    }

    // ---- FIFO and streamer ----
    case Op::RDFAST: case Op::WRFAST: case Op::FBLOCK: {
        if (m_pc >= 0x400)
            return faultHere(instr, "FIFO instruction in hub exec (the FIFO is busy with instruction fetch)");
        const std::uint32_t dv = dImm(lD), s = S();
        m_streamer->advance(m_time);
        Clock end = op == Op::RDFAST ? m_fifo->rdfast(dv, s, m_time)
                    : op == Op::WRFAST ? m_fifo->wrfast(dv, s, m_time)
                                       : m_fifo->fblock(dv, s, m_time);
        m_flags &= ~(1u << EvFbw);
        m_fbwSeen = m_fifo->wraps();
        m_cost = int(end > m_time ? end - m_time : 2);
        return true;
    }
    case Op::RFBYTE: case Op::RFWORD: case Op::RFLONG: case Op::RFVAR: case Op::RFVARS: {
        if (m_pc >= 0x400)
            return faultHere(instr, "FIFO read in hub exec (the FIFO is busy with instruction fetch)");
        const Fifo::Size sz = op == Op::RFBYTE ? Fifo::Size::Byte : op == Op::RFWORD ? Fifo::Size::Word
                              : op == Op::RFLONG ? Fifo::Size::Long : op == Op::RFVAR ? Fifo::Size::Var
                                                                                     : Fifo::Size::VarSigned;
        m_streamer->advance(m_time);
        Fifo::Read r = m_fifo->read(sz, m_time);
        result(r.value);
        flags(r.msb, r.value == 0);
        m_cost = int(r.done > m_time ? r.done - m_time : 2);
        return true;
    }
    case Op::WFBYTE: case Op::WFWORD: case Op::WFLONG: {
        if (m_pc >= 0x400)
            return faultHere(instr, "FIFO write in hub exec (the FIFO is busy with instruction fetch)");
        const std::uint32_t dv = dImm(lD1);
        m_streamer->advance(m_time);
        Clock end = m_fifo->write(op == Op::WFBYTE ? Fifo::Size::Byte : op == Op::WFWORD ? Fifo::Size::Word
                                                                                         : Fifo::Size::Long,
                                  dv, m_time);
        m_cost = int(end > m_time ? end - m_time : 2);
        return true;
    }
    case Op::GETPTR: result(m_fifo->pointer()); return true;
    case Op::XINIT: case Op::XZERO: case Op::XCONT: {
        const std::uint32_t dv = dImm(lD), s = S();
        const bool hasQ = m_qFresh == 1;
        Clock end = m_streamer->command(op == Op::XINIT ? StreamerCmd::Init : op == Op::XZERO ? StreamerCmd::Zero
                                                                                               : StreamerCmd::Cont,
                                        dv, s, hasQ, m_q, m_time);
        for (int k = 0; k < 3; ++k)
            m_streamerSince[std::size_t(k)] = m_time;
        m_flags &= ~((1u << EvXmt) | (1u << EvXfi) | (1u << EvXro));
        m_cost = int(end > m_time ? end - m_time : 2);
        return true;
    }
    case Op::SETDACS: m_streamer->setDacs(dImm(lD1), m_time); return true;
    case Op::SETXFRQ: m_streamer->setFrequency(dImm(lD1), m_time); return true;
    case Op::GETXACC: {
        Streamer::Acc a = m_streamer->getxacc(m_time);
        result(a.cos);
        m_q = a.sin;
        m_scaValid = true;
        m_scaValue = a.sin;
        prefix();
        return true;
    }
    case Op::SETCY: m_streamer->setColor(ColorReg::Cy, dImm(lD1), m_time); return true;
    case Op::SETCI: m_streamer->setColor(ColorReg::Ci, dImm(lD1), m_time); return true;
    case Op::SETCQ: m_streamer->setColor(ColorReg::Cq, dImm(lD1), m_time); return true;
    case Op::SETCFRQ: m_streamer->setColor(ColorReg::Cfrq, dImm(lD1), m_time); return true;
    case Op::SETCMOD: m_streamer->setColor(ColorReg::Cmod, dImm(lD1), m_time); return true;
    case Op::SETPIV: m_pixV = dImm(lD1) & 0xFF; return true;
    case Op::SETPIX: m_pixM = dImm(lD1) & 0x3F; return true;
    case Op::SETSCP: m_chip.setScope(dImm(lD1)); return true;
    case Op::GETSCP: result(m_chip.scope(m_time)); return true;

    // ---- REP / SKIP ----
    case Op::REP: {
        const std::uint32_t dv = dImm(lD), s = S();
        const std::uint32_t n = dv & 0x1FF;
        if (n == 0)
            return true;
        m_repActive = true;
        m_repStart = m_nextPc;
        m_repEnd = m_pc < 0x400 ? (m_nextPc + n) & 0x3FF : (m_nextPc + 4 * n) & 0xFFFFF;
        m_repLeft = s;
        return true;
    }
    case Op::SKIP: case Op::SKIPF: {
        m_skip = dImm(lD1);
        m_skipFast = op == Op::SKIPF && m_pc < 0x400;
        m_skipRun = 0;
        m_skipFirst = true;
        m_skipCallDepth = 0;
        return true;
    }
    case Op::EXECF: {
        const std::uint32_t dv = dImm(lD1);
        m_skip = dv >> 10;
        m_skipFast = true;
        m_skipRun = 0;
        m_skipFirst = true;
        m_skipCallDepth = 0;
        branch(dv & 0x3FF);
        return true;
    }

    // ---- cogs, clock, locks ----
    case Op::COGINIT: {
        const std::uint32_t dv = dImm(lD), s = S();
        const std::uint32_t ptra = m_qFresh == 1 ? m_q : 0;
        if (m_qFresh != 1)
            m_q = 0;
        const Clock wait = Clock(Cordic::slotWait(m_id, m_time));
        const int started = m_chip.coginit(int(dv & 15), dv, s, ptra, m_time + wait);
        if (wc) {
            m_c = started < 0;
            if (!lD)
                writeReg(dF, started < 0 ? 0xF : std::uint32_t(started));
        }
        m_cost = int(2 + wait + (wc ? 2 : 0));
        return true;
    }
    case Op::COGID: {
        const std::uint32_t dv = dImm(lD1);
        const Clock wait = Clock(Cordic::slotWait(m_id, m_time));
        if (wc) {
            m_c = m_chip.cogRunning(int(dv & 7));
        } else if (!lD1) {
            writeReg(dF, std::uint32_t(m_id));
        }
        m_cost = int(2 + wait + 2);
        return true;
    }
    case Op::COGSTOP: {
        const std::uint32_t dv = dImm(lD1);
        const Clock wait = Clock(Cordic::slotWait(m_id, m_time));
        m_cost = int(2 + wait);
        m_chip.cogstop(int(dv & 7), m_time + wait);
        return true;
    }
    case Op::HUBSET: {
        const std::uint32_t dv = dImm(lD1);
        const Clock wait = Clock(Cordic::slotWait(m_id, m_time));
        m_cost = int(2 + wait);
        const std::uint32_t kind = dv >> 28;
        if (dv >> 31) {
            m_chip.seedRandom(dv);
        } else if (kind == 0) {
            m_chip.setClockMode(dv, m_time + wait);
        } else if (kind == 1) {
            return faultHere(instr, "HUBSET reboot: the simulator does not restart the chip");
        } else if (kind == 2) {
            if (dv & 0xFFFF)
                return faultHere(instr, "HUBSET debug interrupts are not modelled");
        } else if (kind == 4) {
            m_pins.setFilter(int(dv >> 7 & 3), int(dv >> 5 & 3), int(dv & 31), m_time + wait);
        }
        return true;
    }
    case Op::LOCKNEW: {
        const int n = m_chip.lockNew();
        if (wc)
            m_c = n < 0;
        writeReg(dF, n < 0 ? 0xF : std::uint32_t(n));
        m_cost = 4 + Cordic::slotWait(m_id, m_time);
        return true;
    }
    case Op::LOCKRET: m_chip.lockRet(int(dImm(lD1) & 15)); m_cost = 2 + Cordic::slotWait(m_id, m_time); return true;
    case Op::LOCKTRY: {
        const bool got = m_chip.lockTry(m_id, int(dImm(lD1) & 15), m_time);
        if (wc)
            m_c = got;
        m_cost = 2 + Cordic::slotWait(m_id, m_time) + (wc ? 2 : 0);
        return true;
    }
    case Op::LOCKREL: {
        int owner = 0;
        const bool held = m_chip.lockRel(m_id, int(dImm(lD1) & 15), &owner, m_time);
        if (wc) {
            m_c = held;
            if (!lD1)
                writeReg(dF, std::uint32_t(owner));
        }
        m_cost = 2 + Cordic::slotWait(m_id, m_time) + (wc ? 2 : 0);
        return true;
    }
    case Op::COGATN: m_chip.attention(dImm(lD1) & 0xFF, m_id, m_time); return true;

    // ---- CORDIC ----
    case Op::QMUL: case Op::QDIV: case Op::QFRAC: case Op::QSQRT: case Op::QROTATE: case Op::QVECTOR: {
        const std::uint32_t dv = dImm(lD), s = S();
        const CordicOp k = op == Op::QMUL ? CordicOp::Mul : op == Op::QDIV ? CordicOp::Div
                           : op == Op::QFRAC ? CordicOp::Frac : op == Op::QSQRT ? CordicOp::Sqrt
                           : op == Op::QROTATE ? CordicOp::Rotate : CordicOp::Vector;
        const std::uint32_t q = m_qFresh == 1 ? m_q : 0;
        if (m_qFresh != 1 && (op == Op::QDIV || op == Op::QFRAC || op == Op::QROTATE))
            m_q = 0;
        const Clock end = m_cordic.issue(m_id, k, dv, s, q, m_time);
        m_cost = int(end - m_time);
        return true;
    }
    case Op::QLOG: case Op::QEXP: {
        const std::uint32_t dv = dImm(lD1);
        const Clock end = m_cordic.issue(m_id, op == Op::QLOG ? CordicOp::Log : CordicOp::Exp, dv, 0, 0, m_time);
        m_cost = int(end - m_time);
        return true;
    }
    case Op::GETQX: case Op::GETQY: {
        Cordic::Read r = m_cordic.get(m_id, op == Op::GETQY, m_time);
        if (r.empty)
            m_flags |= 1u << EvQmt;
        result(r.value);
        flags(r.value >> 31, r.value == 0);
        m_cost = int(r.done > m_time ? r.done - m_time : 2);
        return true;
    }

    // ---- counter, random, waits ----
    case Op::GETCT: {
        const Clock ct = m_time;
        result(wc ? std::uint32_t(ct >> 32) : std::uint32_t(ct));
        if (wc)
            prefix();
        return true;
    }
    case Op::GETRND: {
        const std::uint32_t r = m_chip.random(m_time) ^ std::rotl(m_rndState, m_id * 4);
        m_rndState = m_rndState * 1664525u + 1013904223u;
        if (!(instr >> 18 & 1))
            result(r);
        flags(r >> 31, r >> 30 & 1);
        return true;
    }
    case Op::WAITX: {
        std::uint32_t dv = dImm(lD1);
        if (wc || wz)
            dv &= m_chip.random(m_time);
        m_time += Clock(dv); // 2 + D clocks: D here, 2 as every instruction
        m_cost = 2;
        flags(false, false);
        return true;
    }
    case Op::SETSE1: case Op::SETSE2: case Op::SETSE3: case Op::SETSE4: {
        const std::size_t n = std::size_t(op) - std::size_t(Op::SETSE1);
        m_se[n] = dImm(lD1) & 0x1FF;
        m_flags &= ~(1u << (EvSe1 + int(n)));
        if ((m_se[n] >> 6) != 0) {
            const Clock at = m_time >= 3 ? m_time - 3 : 0;
            m_seLast[n] = m_pins.in(at) >> (m_se[n] & 63) & 1;
        }
        return true;
    }
    case Op::POLLINT: case Op::POLLCT1: case Op::POLLCT2: case Op::POLLCT3: case Op::POLLSE1: case Op::POLLSE2:
    case Op::POLLSE3: case Op::POLLSE4: case Op::POLLPAT: case Op::POLLFBW: case Op::POLLXMT: case Op::POLLXFI:
    case Op::POLLXRO: case Op::POLLXRL: case Op::POLLATN: case Op::POLLQMT: {
        const int ev = int(dF & 15);
        const bool f = eventFlag(ev);
        clearEvent(ev);
        flags(f, f);
        return true;
    }
    case Op::WAITINT: case Op::WAITCT1: case Op::WAITCT2: case Op::WAITCT3: case Op::WAITSE1: case Op::WAITSE2:
    case Op::WAITSE3: case Op::WAITSE4: case Op::WAITPAT: case Op::WAITFBW: case Op::WAITXMT: case Op::WAITXFI:
    case Op::WAITXRO: case Op::WAITXRL: case Op::WAITATN: {
        const int ev = int(dF & 15);
        waitEvent(ev);
        return true;
    }

    // ---- interrupts ----
    case Op::ALLOWI: m_stalli = false; return true;
    case Op::STALLI: m_stalli = true; return true;
    case Op::TRGINT1: case Op::TRGINT2: case Op::TRGINT3:
        m_intPending[std::size_t(op) - std::size_t(Op::TRGINT1)] = true;
        m_anyInt = true;
        return true;
    case Op::NIXINT1: case Op::NIXINT2: case Op::NIXINT3:
        m_intPending[std::size_t(op) - std::size_t(Op::NIXINT1)] = false;
        return true;
    case Op::SETINT1: case Op::SETINT2: case Op::SETINT3: {
        m_intSource[std::size_t(op) - std::size_t(Op::SETINT1)] = int(dImm(lD1) & 15);
        m_anyInt = m_intSource[0] || m_intSource[1] || m_intSource[2] || m_intPending[0] || m_intPending[1] ||
                   m_intPending[2];
        return true;
    }

    // ---- prefixes ----
    case Op::SETQ: case Op::SETQ2: {
        m_q = dImm(lD1);
        m_qFresh = op == Op::SETQ ? 1 : 2;
        prefix();
        m_qDirect = true;
        return true;
    }
    case Op::AUGS: m_augs = (instr & 0x7FFFFF) << 9; m_augsValid = true; prefix(); return true;
    case Op::AUGD: m_augd = (instr & 0x7FFFFF) << 9; m_augdValid = true; prefix(); return true;

    // ---- the hardware stack ----
    case Op::PUSH: push(dImm(lD1)); return true;
    case Op::POP: {
        const std::uint32_t v = pop();
        result(v);
        flags(v >> 31, v == 0);
        return true;
    }
    case Op::JMP: {
        const std::uint32_t d = D();
        flags(d >> 31, d >> 30 & 1);
        branch(d);
        return true;
    }
    case Op::CALL: case Op::CALLA: case Op::CALLB: {
        const std::uint32_t d = D();
        const std::uint32_t w = callWord();
        if (op == Op::CALL) {
            push(w);
        } else {
            const std::uint32_t p = op == Op::CALLA ? kPTRA : kPTRB;
            m_hub.writeLong(m_reg[p], w);
            const int wait = Hub::slotWait(m_id, m_reg[p], m_time);
            m_reg[p] += 4;
            branch(d);
            m_cost += 1 + wait;
            flags(d >> 31, d >> 30 & 1);
            return true;
        }
        if (m_skip) {
            m_skipSaved = m_skip;
            m_skipSavedFast = m_skipFast;
            m_skip = 0;
            m_skipCallDepth = 1;
        } else if (m_skipCallDepth) {
            ++m_skipCallDepth;
        }
        flags(d >> 31, d >> 30 & 1);
        branch(d);
        return true;
    }
    case Op::RET: case Op::RETA: case Op::RETB: {
        std::uint32_t w;
        int extra = 0;
        if (op == Op::RET) {
            if ((m_stack[0] & 0xFFFFF) == 0x1FF) {
                xbyte(); // a return to $1FF runs the next bytecode, without popping
                m_cost = 8;
                return true;
            }
            w = pop();
        } else {
            const std::uint32_t p = op == Op::RETA ? kPTRA : kPTRB;
            m_reg[p] -= 4;
            w = m_hub.readLong(m_reg[p]);
            extra = 7 + Hub::slotWait(m_id, m_reg[p], m_time);
        }
        retTo(w, wc, wz);
        m_cost += extra;
        if (op == Op::RET && m_skipCallDepth > 0 && --m_skipCallDepth == 0) {
            m_skip = m_skipSaved;
            m_skipFast = m_skipSavedFast;
        }
        return true;
    }
    case Op::JMPREL: {
        const std::uint32_t dv = dImm(lD1);
        branch(m_pc < 0x400 ? m_nextPc + dv : m_nextPc + (dv << 2));
        return true;
    }
    case Op::JMP_A: case Op::CALL_A: case Op::CALLA_A: case Op::CALLB_A: case Op::CALLD_A: case Op::LOC_A: {
        const bool rel = instr >> 20 & 1;
        const std::uint32_t a = instr & 0xFFFFF;
        std::uint32_t target;
        if (rel) {
            const std::int32_t off = std::int32_t(sx(a, 20));
            // Branches in cog/LUT exec step A/4 instructions; LOC gives PC + A
            // as it stands (its result is an address, not an instruction count).
            target = m_pc < 0x400 && op != Op::LOC_A ? std::uint32_t(std::int32_t(m_nextPc) + off / 4)
                                                     : std::uint32_t(std::int32_t(m_nextPc) + off);
        } else {
            target = a;
        }
        target &= 0xFFFFF;
        const std::uint32_t w = callWord();
        switch (op) {
        case Op::JMP_A: branch(target); break;
        case Op::CALL_A:
            push(w);
            if (m_skip) {
                m_skipSaved = m_skip;
                m_skipSavedFast = m_skipFast;
                m_skip = 0;
                m_skipCallDepth = 1;
            } else if (m_skipCallDepth) {
                ++m_skipCallDepth;
            }
            branch(target);
            break;
        case Op::CALLA_A: case Op::CALLB_A: {
            const std::uint32_t p = op == Op::CALLA_A ? kPTRA : kPTRB;
            const int wait = Hub::slotWait(m_id, m_reg[p], m_time);
            m_hub.writeLong(m_reg[p], w);
            m_reg[p] += 4;
            branch(target);
            m_cost += 1 + wait;
            break;
        }
        case Op::CALLD_A:
            writeReg(0x1F6 + (instr >> 21 & 3), w);
            branch(target);
            break;
        default: // LOC
            writeReg(0x1F6 + (instr >> 21 & 3), target);
            break;
        }
        return true;
    }

    // ---- pins ----
    case Op::TESTP: case Op::TESTPN: case Op::TESTP_AND: case Op::TESTPN_AND: case Op::TESTP_OR: case Op::TESTPN_OR:
    case Op::TESTP_XOR: case Op::TESTPN_XOR: {
        const std::uint32_t dv = dImm(lD1);
        const Clock at = m_time >= 2 ? m_time - 2 : 0;
        bool bit = m_pins.in(at) >> (dv & 63) & 1;
        if (op == Op::TESTPN || op == Op::TESTPN_AND || op == Op::TESTPN_OR || op == Op::TESTPN_XOR)
            bit = !bit;
        auto combine = [&](bool old) {
            switch (op) {
            case Op::TESTP_AND: case Op::TESTPN_AND: return old && bit;
            case Op::TESTP_OR: case Op::TESTPN_OR: return old || bit;
            case Op::TESTP_XOR: case Op::TESTPN_XOR: return old != bit;
            default: return bit;
            }
        };
        if (wc)
            m_c = combine(m_c);
        if (wz)
            m_z = combine(m_z);
        return true;
    }
    case Op::DIRL: case Op::DIRH: case Op::DIRC: case Op::DIRNC: case Op::DIRZ: case Op::DIRNZ: case Op::DIRRND:
    case Op::DIRNOT: case Op::OUTL: case Op::OUTH: case Op::OUTC: case Op::OUTNC: case Op::OUTZ: case Op::OUTNZ:
    case Op::OUTRND: case Op::OUTNOT: case Op::FLTL: case Op::FLTH: case Op::FLTC: case Op::FLTNC: case Op::FLTZ:
    case Op::FLTNZ: case Op::FLTRND: case Op::FLTNOT: case Op::DRVL: case Op::DRVH: case Op::DRVC: case Op::DRVNC:
    case Op::DRVZ: case Op::DRVNZ: case Op::DRVRND: case Op::DRVNOT: {
        std::uint32_t dv = dImm(lD1);
        if (m_qFresh == 1)
            dv = (dv & ~0x7C0u) | (m_q << 6 & 0x7C0u);
        const int base = int(Op::DIRL);
        const int k = int(op) - base;    // 0..31
        const int group = k / 8;         // 0 DIR, 1 OUT, 2 FLT, 3 DRV
        const int how = k % 8;           // L H C NC Z NZ RND NOT
        const std::uint32_t rnd = how == 6 ? m_chip.random(m_time) : 0;
        bool firstBit = false, first = true;
        pinSpan(dv, [&](int pin) {
            const std::uint32_t port = pin >= 32 ? 1 : 0;
            const std::uint32_t bit = 1u << (pin & 31);
            std::uint32_t &dir = m_reg[0x1FA + port];
            std::uint32_t &out = m_reg[0x1FC + port];
            std::uint32_t &target = group == 0 ? dir : out;
            bool v = false;
            switch (how) {
            case 0: v = false; break;
            case 1: v = true; break;
            case 2: v = m_c; break;
            case 3: v = !m_c; break;
            case 4: v = m_z; break;
            case 5: v = !m_z; break;
            case 6: v = rnd >> (pin & 31) & 1; break;
            default: v = !(target & bit); break;
            }
            target = v ? target | bit : target & ~bit;
            if (group == 2)
                dir &= ~bit;
            else if (group == 3)
                dir |= bit;
            if (first) {
                firstBit = v;
                first = false;
            }
        });
        outputsChanged(m_time + 3);
        if (wc)
            m_c = firstBit;
        if (wz)
            m_z = firstBit;
        return true;
    }

    // ---- misc register ops ----
    case Op::SPLITB: {
        const std::uint32_t d = D();
        std::uint32_t r = 0;
        for (int b = 0; b < 4; ++b)
            for (int i = 0; i < 8; ++i)
                r |= (d >> (i * 4 + b) & 1) << (b * 8 + i);
        result(r);
        return true;
    }
    case Op::MERGEB: {
        const std::uint32_t d = D();
        std::uint32_t r = 0;
        for (int b = 0; b < 4; ++b)
            for (int i = 0; i < 8; ++i)
                r |= (d >> (b * 8 + i) & 1) << (i * 4 + b);
        result(r);
        return true;
    }
    case Op::SPLITW: {
        const std::uint32_t d = D();
        std::uint32_t r = 0;
        for (int i = 0; i < 16; ++i) {
            r |= (d >> (2 * i) & 1) << i;
            r |= (d >> (2 * i + 1) & 1) << (16 + i);
        }
        result(r);
        return true;
    }
    case Op::MERGEW: {
        const std::uint32_t d = D();
        std::uint32_t r = 0;
        for (int i = 0; i < 16; ++i) {
            r |= (d >> i & 1) << (2 * i);
            r |= (d >> (16 + i) & 1) << (2 * i + 1);
        }
        result(r);
        return true;
    }
    case Op::RGBSQZ: {
        const std::uint32_t d = D();
        result((d >> 27 & 0x1F) << 11 | (d >> 18 & 0x3F) << 5 | (d >> 11 & 0x1F));
        return true;
    }
    case Op::RGBEXP: {
        const std::uint32_t d = D();
        const std::uint32_t r5 = d >> 11 & 0x1F, g6 = d >> 5 & 0x3F, b5 = d & 0x1F;
        const std::uint32_t r8 = r5 << 3 | r5 >> 2, g8 = g6 << 2 | g6 >> 4, b8 = b5 << 3 | b5 >> 2;
        result(r8 << 24 | g8 << 16 | b8 << 8);
        return true;
    }
    case Op::REV: result(rev32(D())); return true;
    case Op::RCZR: {
        const std::uint32_t d = D();
        const std::uint32_t r = (m_c ? 0x80000000u : 0) | (m_z ? 0x40000000u : 0) | d >> 2;
        result(r);
        flags(d >> 1 & 1, d & 1);
        return true;
    }
    case Op::RCZL: {
        const std::uint32_t d = D();
        const std::uint32_t r = d << 2 | (m_c ? 2u : 0u) | (m_z ? 1u : 0u);
        result(r);
        flags(d >> 31, d >> 30 & 1);
        return true;
    }
    case Op::WRC: result(m_c ? 1 : 0); return true;
    case Op::WRNC: result(m_c ? 0 : 1); return true;
    case Op::WRZ: result(m_z ? 1 : 0); return true;
    case Op::WRNZ: result(m_z ? 0 : 1); return true;
    case Op::MODCZ: {
        const unsigned cc = dF >> 4 & 15, zz = dF & 15;
        const bool nc = cc == 0 ? false : cc == 15 ? true : condMet(cc, m_c, m_z);
        const bool nz = zz == 0 ? false : zz == 15 ? true : condMet(zz, m_c, m_z);
        flags(nc, nz);
        return true;
    }
    case Op::SETLUTS: m_lutShare = dImm(lD1) & 1; return true;
    case Op::BRK:
        // Debug interrupts are off unless HUBSET enables them, which the
        // simulator refuses; BRK then does nothing.
        (void)dImm(lD1);
        return true;

    case Op::XORO32:
        return faultHere(instr, "XORO32 is not modelled (its PRNG steps are not documented in full)");
    case Op::SEUSSF: case Op::SEUSSR:
        return faultHere(instr, "SEUSSF/SEUSSR are not modelled (the documentation gives only a picture)");
    case Op::GETBRK: case Op::COGBRK:
        return faultHere(instr, "debug interrupt instructions are not modelled");
    case Op::Invalid:
    case Op::Count:
        break;
    }
    return faultHere(instr, "no instruction has this encoding");
}

} // namespace kivo::sim
