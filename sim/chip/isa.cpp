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
#include "chip/isa_table.inc"
};
constexpr int kTableSize = int(sizeof(kTable) / sizeof(kTable[0]));

const OpInfo kInvalid = {Op::Invalid, "<invalid>", 0, 0, 0, "", "", 0, 2, 2, 0, 1, ""};

bool ruleOk(const OpInfo &e, std::uint32_t instr)
{
    const bool c = instr >> 20 & 1, z = instr >> 19 & 1;
    switch (e.czRule) {
    case 1: return c != z;
    case 2: return c == z;
    default: return true;
    }
}

// Candidates per 7-bit opcode (bits 27..21), most specific first; the big
// group %1101011 is indexed once more by its S field.
struct Index {
    std::array<std::vector<const OpInfo *>, 128> byOpcode;
    std::array<std::vector<const OpInfo *>, 512> group6b;
    std::array<Op, 128> single{};
    Index()
    {
        for (int i = 0; i < kTableSize; ++i) {
            const OpInfo &e = kTable[i];
            if (e.op == Op::NOP)
                continue;
            // The opcode bits may be partly variable (CALLD/LOC WW, AUGS nn).
            for (std::uint32_t oc = 0; oc < 128; ++oc) {
                std::uint32_t bits = oc << 21;
                if ((bits & e.mask & 0x0FE00000u) != (e.value & 0x0FE00000u))
                    continue;
                if (oc == 0x6B) {
                    for (std::uint32_t s = 0; s < 512; ++s)
                        if ((s & e.mask & 0x1FFu) == (e.value & 0x1FFu))
                            group6b[s].push_back(&e);
                } else {
                    byOpcode[oc].push_back(&e);
                }
            }
        }
        auto order = [](const OpInfo *a, const OpInfo *b) {
            return std::popcount(a->mask) > std::popcount(b->mask);
        };
        for (auto &v : byOpcode)
            std::stable_sort(v.begin(), v.end(), order);
        for (auto &v : group6b)
            std::stable_sort(v.begin(), v.end(), order);
        for (std::uint32_t oc = 0; oc < 128; ++oc) {
            const auto &v = byOpcode[oc];
            single[oc] = v.size() == 1 && v[0]->czRule == 0 && (v[0]->mask & ~0xF0000000u) == 0x0FE00000u
                             ? v[0]->op
                             : Op::Invalid;
        }
    }
};

const Index &index()
{
    static const Index idx;
    return idx;
}

} // namespace

Op decode(std::uint32_t instr)
{
    if (instr == 0)
        return Op::NOP;
    const Index &idx = index();
    const std::uint32_t oc = instr >> 21 & 0x7F;
    if (idx.single[oc] != Op::Invalid)
        return idx.single[oc];
    const auto &cands = oc == 0x6B ? idx.group6b[instr & 0x1FF] : idx.byOpcode[oc];
    for (const OpInfo *e : cands)
        if ((instr & e->mask & 0x0FFFFFFFu) == (e->value & 0x0FFFFFFFu) && ruleOk(*e, instr))
            return e->op;
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
    static const char *const names[16] = {"IJMP3", "IRET3", "IJMP2", "IRET2", "IJMP1", "IRET1", "PA",   "PB",
                                          "PTRA",  "PTRB",  "DIRA",  "DIRB",  "OUTA",  "OUTB",  "INA",  "INB"};
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

const char *const kConds[16] = {"_ret_", "if_nc_and_nz", "if_nc_and_z", "if_nc", "if_c_and_nz", "if_nz",
                                "if_c_ne_z", "if_nc_or_nz", "if_c_and_z", "if_c_eq_z", "if_z", "if_nc_or_z",
                                "if_c", "if_c_or_nz", "if_c_or_z", ""};

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
    const std::string form = e.operands;
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
    std::vector<std::string> ops;
    bool dOnlyL = false; // "{#}D" alone: L sits at bit 18
    if (form.empty()) {
    } else if (form == "#n") {
        ops.push_back("#" + hex((instr & 0x7FFFFF) << 9));
    } else if (form.find("A") != std::string::npos && form.find("#{\\}A") != std::string::npos) {
        const bool rel = instr >> 20 & 1;
        std::uint32_t a = instr & 0xFFFFF;
        if (form.rfind("PA/", 0) == 0) {
            static const char *const w[4] = {"PA", "PB", "PTRA", "PTRB"};
            ops.push_back(w[instr >> 21 & 3]);
        }
        if (rel) {
            std::int32_t off = std::int32_t(a << 12) >> 12;
            const bool isLoc = m == "loc";
            std::uint32_t target = pc < 0x400 ? std::uint32_t(std::int32_t(pc + 1) + (isLoc ? off : off / 4))
                                              : std::uint32_t(std::int32_t(pc + 4) + off);
            ops.push_back("#" + hex(target & 0xFFFFF));
        } else {
            ops.push_back("#\\" + hex(a));
        }
    } else if (form == "c,z") {
        ops.push_back(hex(d >> 4 & 15));
        ops.push_back(hex(d & 15));
    } else {
        // Generic D/S/N forms.
        std::string f = form;
        std::size_t pos = 0;
        std::vector<std::string> parts;
        while (pos <= f.size()) {
            std::size_t comma = f.find(',', pos);
            if (comma == std::string::npos)
                comma = f.size();
            parts.push_back(f.substr(pos, comma - pos));
            pos = comma + 1;
        }
        dOnlyL = parts.size() == 1 && parts[0] == "{#}D";
        for (const std::string &p : parts) {
            if (p == "D") {
                ops.push_back(reg(d));
            } else if (p == "{#}D") {
                bool imm = dOnlyL ? i : l;
                ops.push_back(imm ? immD(d) : reg(d));
            } else if (p == "{#}S") {
                ops.push_back(i ? immS(s) : reg(s));
            } else if (p == "{#}S/P") {
                if (i && (s & 0x100) && augs < 0)
                    ops.push_back(ptrExpr(s, false, 0));
                else if (i && augs >= 0 && (std::uint32_t(augs) & 0x800000))
                    ops.push_back(ptrExpr(s, true, std::uint32_t(augs)));
                else
                    ops.push_back(i ? immS(s) : reg(s));
            } else if (p == "#N") {
                ops.push_back("#" + std::to_string(instr >> 19 & (m == "setnib" || m == "getnib" || m == "rolnib" ? 7u
                                                                : m.find("word") != std::string::npos ? 1u
                                                                                                       : 3u)));
            } else {
                ops.push_back(p);
            }
        }
    }
    if (!ops.empty()) {
        text.resize(std::max<std::size_t>(text.size() + 1, (kConds[cond][0] ? std::string(kConds[cond]).size() + 1 : 0) + 8), ' ');
        for (std::size_t k = 0; k < ops.size(); ++k)
            text += (k ? ", " : "") + ops[k];
    }
    const std::string flags = e.flags;
    if (!flags.empty()) {
        const char *suffix = nullptr;
        if (flags.find("AND") != std::string::npos)
            suffix = c ? "andc" : "andz";
        else if (flags.find("XOR") != std::string::npos)
            suffix = c ? "xorc" : "xorz";
        else if (flags.find("OR") != std::string::npos)
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
