#include "chip/isa.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cctype>
#include <cstdio>
#include <vector>

namespace kivo::sim {

namespace {

const OpInfo kTable[] = {
#include "chip/isa/table.inc"
};
constexpr int kTableSize = int(sizeof(kTable) / sizeof(kTable[0]));

const OpInfo kInvalid = {
    Op::Invalid, "<invalid>",      0, 0, CzRule::Any, OperandForm::None, FlagForm::None, 0, 2, 2, 2, 2,
    0,           HubExec::Allowed, 1, ""};

#include "chip/isa/decode.inc"

bool ruleOk(const OpInfo &e, std::uint32_t instr)
{
    const bool c = instr >> 20 & 1, z = instr >> 19 & 1;
    switch (e.czRule) {
    case CzRule::OneOf:
        return c != z;
    case CzRule::Same:
        return c == z;
    default:
        return true;
    }
}

} // namespace

Op decode(std::uint32_t instr)
{
    if (instr == 0)
        return Op::NOP;
    const std::uint32_t oc = instr >> 21 & 0x7F;
    if (kSingleOp[oc] != Op::Invalid)
        return kSingleOp[oc];
    const std::uint16_t *first = kOpcodeRows + kOpcodeStart[oc], *last = kOpcodeRows + kOpcodeStart[oc + 1];
    if (oc == 0x6B) {
        first = kGroupRows + kGroupStart[instr & 0x1FF];
        last = kGroupRows + kGroupStart[(instr & 0x1FF) + 1];
    }
    for (const std::uint16_t *i = first; i != last; ++i) {
        const OpInfo &e = kTable[*i];
        if ((instr & e.mask & 0x0FFFFFFFu) == (e.value & 0x0FFFFFFFu) && ruleOk(e, instr))
            return e.op;
    }
    return Op::Invalid;
}

const OpInfo &opInfo(Op op)
{
    static const std::vector<const OpInfo *> byOp = [] {
        std::vector<const OpInfo *> v(std::size_t(Op::Count), &kInvalid);
        for (int i = 0; i < kTableSize; ++i)
            v[std::size_t(kTable[i].op)] = &kTable[i];
        return v;
    }();
    return *byOp[std::size_t(op)];
}

const OpInfo *opTable(int *count)
{
    if (count)
        *count = kTableSize;
    return kTable;
}

const char *registerName(std::uint32_t addr)
{
    static const char *const names[16] = {"IJMP3", "IRET3", "IJMP2", "IRET2", "IJMP1", "IRET1", "PA",  "PB",
                                          "PTRA",  "PTRB",  "DIRA",  "DIRB",  "OUTA",  "OUTB",  "INA", "INB"};
    return addr >= 0x1F0 && addr <= 0x1FF ? names[addr - 0x1F0] : nullptr;
}

namespace {

std::string hex(std::uint32_t v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "$%X", v);
    return buf;
}

std::string reg(std::uint32_t r)
{
    if (const char *n = registerName(r))
        return n;
    char buf[8];
    std::snprintf(buf, sizeof buf, "$%03X", r);
    return buf;
}

const char *const kConds[16] = {"_ret_",     "if_nc_and_nz", "if_nc_and_z", "if_nc",     "if_c_and_nz", "if_nz",
                                "if_c_ne_z", "if_nc_or_nz",  "if_c_and_z",  "if_c_eq_z", "if_z",        "if_nc_or_z",
                                "if_c",      "if_c_or_nz",   "if_c_or_z",   ""};

std::string ptrExpr(std::uint32_t s, bool augmented, std::uint32_t aug)
{
    std::uint32_t full = augmented ? (aug | s) : s;
    bool ptrb, update, post;
    std::int32_t index;
    if (augmented) {
        ptrb = full >> 22 & 1;
        update = full >> 21 & 1;
        post = full >> 20 & 1;
        index = std::int32_t(full << 12) >> 12;
    } else {
        ptrb = s >> 7 & 1;
        update = s >> 6 & 1;
        post = s >> 5 & 1;
        if (update) {
            index = std::int32_t(s << 27) >> 27;
            if (index == 0)
                index = 16;
        } else {
            index = std::int32_t(s << 26) >> 26;
        }
    }
    std::string p = ptrb ? "ptrb" : "ptra";
    char buf[32];
    if (!update) {
        if (index == 0)
            return p;
        std::snprintf(buf, sizeof buf, "%s[%d]", p.c_str(), index);
        return buf;
    }
    const char *op = index < 0 ? "--" : "++";
    int mag = index < 0 ? -index : index;
    std::string idx = mag == 1 ? "" : "[" + std::to_string(mag) + "]";
    return post ? p + op + idx : op + p + idx;
}

} // namespace

std::string disassemble(std::uint32_t instr, std::uint32_t pc, std::int64_t augs, std::int64_t augd)
{
    const Op op = decode(instr);
    const OpInfo &e = opInfo(op);
    std::string text;
    const unsigned cond = instr >> 28;
    if (op == Op::NOP)
        return "nop";
    if (op == Op::Invalid)
        return "long    " + hex(instr) + " (no instruction)";
    if (kConds[cond][0])
        text = std::string(kConds[cond]) + " ";
    std::string m = e.mnemonic;
    for (char &ch : m)
        ch = char(std::tolower(static_cast<unsigned char>(ch)));
    text += m;
    const std::uint32_t d = instr >> 9 & 0x1FF, s = instr & 0x1FF;
    const bool c = instr >> 20 & 1, z = instr >> 19 & 1, i = instr >> 18 & 1, l = instr >> 19 & 1;
    auto immS = [&](std::uint32_t v) {
        if (augs >= 0)
            return "##" + hex(std::uint32_t(augs) | v);
        return "#" + hex(v);
    };
    auto immD = [&](std::uint32_t v) {
        if (augd >= 0)
            return "##" + hex(std::uint32_t(augd) | v);
        return "#" + hex(v);
    };
    auto sOperand = [&] { return i ? immS(s) : reg(s); };
    auto ptrOperand = [&] {
        if (i && (s & 0x100) && augs < 0)
            return ptrExpr(s, false, 0);
        if (i && augs >= 0 && (std::uint32_t(augs) & 0x800000))
            return ptrExpr(s, true, std::uint32_t(augs));
        return sOperand();
    };
    auto address = [&] {
        const bool rel = instr >> 20 & 1;
        const std::uint32_t a = instr & 0xFFFFF;
        if (!rel)
            return "#\\" + hex(a);
        const std::int32_t off = std::int32_t(a << 12) >> 12;
        const bool isLoc = op == Op::LOC_A;
        const std::uint32_t target = pc < 0x400 ? std::uint32_t(std::int32_t(pc + 1) + (isLoc ? off : off / 4))
                                                : std::uint32_t(std::int32_t(pc + 4) + off);
        return "#" + hex(target & 0xFFFFF);
    };
    std::vector<std::string> ops;
    switch (e.operands) {
    case OperandForm::None:
        break;
    case OperandForm::Aug:
        ops.push_back("#" + hex((instr & 0x7FFFFF) << 9));
        break;
    case OperandForm::Reg_Addr: {
        static const char *const w[4] = {"PA", "PB", "PTRA", "PTRB"};
        ops.push_back(w[instr >> 21 & 3]);
        ops.push_back(address());
        break;
    }
    case OperandForm::Addr:
        ops.push_back(address());
        break;
    case OperandForm::CondCZ:
        ops.push_back(hex(d >> 4 & 15));
        ops.push_back(hex(d & 15));
        break;
    case OperandForm::D:
        ops.push_back(reg(d));
        break;
    case OperandForm::ImmD:
        ops.push_back(i ? immD(d) : reg(d));
        break; // L sits at bit 18
    case OperandForm::ImmS:
        ops.push_back(sOperand());
        break;
    case OperandForm::D_ImmS:
        ops.push_back(reg(d));
        ops.push_back(sOperand());
        break;
    case OperandForm::D_ImmS_N: {
        ops.push_back(reg(d));
        ops.push_back(sOperand());
        const std::uint32_t nMask = op == Op::SETNIB || op == Op::GETNIB || op == Op::ROLNIB      ? 7u
                                    : op == Op::SETWORD || op == Op::GETWORD || op == Op::ROLWORD ? 1u
                                                                                                  : 3u;
        ops.push_back("#" + std::to_string(instr >> 19 & nMask));
        break;
    }
    case OperandForm::D_PtrS:
        ops.push_back(reg(d));
        ops.push_back(ptrOperand());
        break;
    case OperandForm::ImmD_ImmS:
        ops.push_back(l ? immD(d) : reg(d));
        ops.push_back(sOperand());
        break;
    case OperandForm::ImmD_PtrS:
        ops.push_back(l ? immD(d) : reg(d));
        ops.push_back(ptrOperand());
        break;
    }
    if (!ops.empty()) {
        text.resize(
            std::max<std::size_t>(text.size() + 1, (kConds[cond][0] ? std::string(kConds[cond]).size() + 1 : 0) + 8),
            ' ');
        for (std::size_t k = 0; k < ops.size(); ++k)
            text += (k ? ", " : "") + ops[k];
    }
    if (e.flags != FlagForm::None) {
        const char *suffix = nullptr;
        if (e.flags == FlagForm::And)
            suffix = c ? "andc" : "andz";
        else if (e.flags == FlagForm::Xor)
            suffix = c ? "xorc" : "xorz";
        else if (e.flags == FlagForm::Or)
            suffix = c ? "orc" : "orz";
        else if (c && z)
            suffix = "wcz";
        else if (c)
            suffix = "wc";
        else if (z)
            suffix = "wz";
        if (suffix)
            text += std::string(" ") + suffix;
    }
    return text;
}

} // namespace kivo::sim
