#pragma once
// The P2 instruction set as one table, generated at build time from the
// Rev B/C instruction sheet and our corrections (chip/isa/): it drives the
// decoder, the executor's dispatch and clocks, and the disassembler.
#include <cstdint>
#include <string>

namespace kivo::sim {

enum class Op : std::uint16_t {
#define KIVO_OP(name) name,
#include "chip/isa/ops.inc"
#undef KIVO_OP
    Invalid, // no documented instruction has this encoding
    Count
};

// Encodings that share fixed bits and differ by C/Z.
enum class CzRule : std::uint8_t {
    Any,
    OneOf, // exactly one of C/Z set (TESTB, TESTP)
    Same,  // C == Z (BITx, DIRx)
};

// The operand syntax of a row.
enum class OperandForm : std::uint8_t {
    None,
    D,         // D
    ImmD,      // {#}D (L at bit 18)
    ImmS,      // {#}S
    D_ImmS,    // D,{#}S
    D_ImmS_N,  // D,{#}S,#N
    D_PtrS,    // D,{#}S/P
    ImmD_ImmS, // {#}D,{#}S (L at bit 19)
    ImmD_PtrS, // {#}D,{#}S/P
    Addr,      // #{\}A
    Reg_Addr,  // PA/PB/PTRA/PTRB,#{\}A
    Aug,       // #n
    CondCZ,    // c,z (MODCZ)
};

// The flag suffixes a row takes.
enum class FlagForm : std::uint8_t {
    None,
    Any,         // {WC/WZ/WCZ}
    AnyRequired, // WC/WZ/WCZ
    OneOf,       // WC/WZ
    Wcz,         // {WCZ}
    Wc,          // {WC}
    Wz,          // {WZ}
    And,         // ANDC/ANDZ
    Or,          // ORC/ORZ
    Xor,         // XORC/XORZ
};

enum class HubExec : std::uint8_t {
    Allowed,
    FifoInUse, // the FIFO fetches the instructions: faults in hub exec
    Illegal,
};

struct OpInfo {
    Op op;
    const char *mnemonic;
    std::uint32_t mask;  // fixed bits of the encoding
    std::uint32_t value; // their values
    CzRule czRule;
    OperandForm operands;
    FlagForm flags;
    int shield;       // shields the next instruction from interrupts
    int cogClocks;    // fewest clocks in cog/LUT exec
    int hubClocks;    // fewest clocks in hub exec
    int cogTaken;     // a taken branch to a cog/LUT address
    int hubTaken;     // a taken branch to a hub address, before its hub wait
    int resultClocks; // more when it gives a result (COGINIT, LOCKTRY, LOCKREL WC)
    HubExec hubExec;
    int shared; // touches hub RAM, pins, events, the CORDIC, the streamer or the LUT
    const char *sheetClocks;
};

// Whether the form has an immediate S (I at bit 18) or D (L at bit 19, or at
// bit 18 when D is the only operand).
constexpr bool hasImmS(OperandForm f)
{
    return f == OperandForm::ImmS || f == OperandForm::D_ImmS || f == OperandForm::D_ImmS_N ||
           f == OperandForm::D_PtrS || f == OperandForm::ImmD_ImmS || f == OperandForm::ImmD_PtrS;
}
constexpr bool hasImmD(OperandForm f)
{
    return f == OperandForm::ImmD || f == OperandForm::ImmD_ImmS || f == OperandForm::ImmD_PtrS;
}

// Decodes an instruction long (the condition field is ignored).
Op decode(std::uint32_t instr);
const OpInfo &opInfo(Op op);
// Every table row, in sheet order.
const OpInfo *opTable(int *count);

// Register names for $1F0..$1FF, or nullptr.
const char *registerName(std::uint32_t addr);

// One instruction as P2 assembly: "if_nz  add     $010, #$5 wc". `pc` is the
// instruction's address (cog/LUT register or hub byte address), used to show
// relative branch targets; `augs`/`augd` are pending AUGS/AUGD values (or -1).
std::string disassemble(std::uint32_t instr, std::uint32_t pc, std::int64_t augs = -1, std::int64_t augd = -1);

} // namespace kivo::sim
