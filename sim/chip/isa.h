#pragma once
// The P2 instruction set as one table (generated from the Rev B/C instruction
// sheet, see isa_table.py): it drives the decoder, the executor's dispatch and
// the disassembler.
#include <cstdint>
#include <string>

namespace kivo::sim {

enum class Op : std::uint16_t {
#define KIVO_OP(name) name,
#include "chip/isa_ops.inc"
#undef KIVO_OP
    Invalid, // no documented instruction has this encoding
    Count
};

struct OpInfo {
    Op op;
    const char *mnemonic;
    std::uint32_t mask;  // fixed bits of the encoding
    std::uint32_t value; // their values
    int czRule;          // 1: exactly one of C/Z set, 2: C == Z (shared encodings)
    const char *operands; // operand syntax, e.g. "D,{#}S"
    const char *flags;    // flag suffix syntax, e.g. "{WC/WZ/WCZ}"
    int shield;           // shields the next instruction from interrupts
    int cogClocks;        // fewest clocks in cog/LUT exec
    int hubClocks;        // fewest clocks in hub exec
    int notInHubExec;     // uses the FIFO (or SKIPF): not allowed in hub exec
    int shared;           // touches hub RAM, pins, events, the CORDIC, the streamer or the LUT
    const char *sheetClocks;
};

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
