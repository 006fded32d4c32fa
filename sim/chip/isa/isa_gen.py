#!/usr/bin/env python3
"""Generates the simulator's instruction tables from the P2 Rev B/C instruction
sheet (instructions-v35.tsv, exported from the "P2 Instructions v35" sheet)
and our corrections to it (corrections.tsv). The build runs it:

    python3 isa_gen.py instructions-v35.tsv corrections.tsv OUTDIR [--check p2silicon.md]

OUTDIR receives:
  ops.inc     KIVO_OP(name) per row: the Op enum and the executor's handler table
  table.inc   one OpInfo per row (encoding, operand and flag forms, clocks, hub-exec restriction)
  clocks.inc  constexpr tables by op for the executor: clocks, and which ops are
              shared with other cogs or run on a cog's fast path
  decode.inc  the decoder's candidate rows per opcode, most specific first

With --check, every row's encoding is compared with the instruction list in
the silicon documentation (lines "EEEE 0001000 CZI DDDDDDDDD SSSSSSSSS  ADD ...")
and the rows whose mnemonic the documentation lists with other fixed bits are
reported (exit status 1).

Aliases, prefixes and MODCZ operand names are left out: the decoder works on
the real encodings, the disassembler prints the base mnemonic.
"""
import os
import re
import sys


# Groups whose instructions touch what other cogs or the pins see: the cog
# scheduler keeps these in clock order across cogs.
SHARED_GROUPS = ("Hub", "Smart Pins", "Pins", "Events", "CORDIC", "Streamer", "Lookup Table",
                 "Color Space Converter")

# Instructions that leave alone the state that decides how the next
# instruction runs (prefixes, SKIP, REP, waits, interrupts, the debug ISR,
# starting or stopping a cog): a cog runs these back to back on its fast path
# (the shared among them still in clock order across cogs).
PLAIN_GROUPS = ("Math and Logic", "Branch A - Jump", "Branch A - Call", "Branch D - Jump", "Branch D - Call",
                "Branch S - Test", "Branch S - Mod & Test", "Hub RAM - Read", "Hub RAM - Write", "Lookup Table")
PLAIN_MORE = ("NOP", "PUSH", "POP")
# In those groups, but each sets up the next instruction (a prefix) or faults.
NOT_PLAIN = ("SCA", "SCAS", "XORO32", "CRCNIB", "SEUSSF", "SEUSSR")

# Operand syntax -> OperandForm enumerator.
FORMS = {
    "": "None",
    "D": "D",
    "{#}D": "ImmD",
    "{#}S": "ImmS",
    "D,{#}S": "D_ImmS",
    "D,{#}S,#N": "D_ImmS_N",
    "D,{#}S/P": "D_PtrS",
    "{#}D,{#}S": "ImmD_ImmS",
    "{#}D,{#}S/P": "ImmD_PtrS",
    "#{\\}A": "Addr",
    "PA/PB/PTRA/PTRB,#{\\}A": "Reg_Addr",
    "#n": "Aug",
    "c,z": "CondCZ",
}
# Flag suffix syntax -> FlagForm enumerator.
FLAG_FORMS = {
    "": "None",
    "{WC/WZ/WCZ}": "Any",
    "WC/WZ/WCZ": "AnyRequired",
    "WC/WZ": "OneOf",
    "{WCZ}": "Wcz",
    "{WC}": "Wc",
    "{WZ}": "Wz",
    "ANDC/ANDZ": "And",
    "ORC/ORZ": "Or",
    "XORC/XORZ": "Xor",
}
# OperandForm -> its register fields (1: D, 2: S). The A forms' D and S bits
# are an address; CALLD/LOC's PA..PTRB target counts as both, as before.
REGISTER_FIELDS = {"None": 0, "D": 1, "ImmD": 1, "ImmS": 2, "D_ImmS": 3, "D_ImmS_N": 3, "D_PtrS": 3, "ImmD_ImmS": 3,
                   "ImmD_PtrS": 3, "Addr": 0, "Reg_Addr": 3, "Aug": 0, "CondCZ": 0}
FLAG_RE = r"\{?(WC/WZ/WCZ|WC/WZ|ANDC/ANDZ|ORC/ORZ|XORC/XORZ|WCZ|WC|WZ)\}?"


def ident(mnemonic, syntax):
    name = mnemonic
    for word, suffix in (("ANDC/ANDZ", "_AND"), ("ORC/ORZ", "_OR"), ("XORC/XORZ", "_XOR")):
        if word in syntax:
            name += suffix
    if "#{\\}A" in syntax:
        name += "_A"
    return name


def cz_rule(syntax):
    # Shared encodings: TESTB/TESTP (exactly one of WC/WZ) against BITx/DIRx
    # (none or WCZ).
    if re.search(r"(^|\s)(WC/WZ|ANDC/ANDZ|ORC/ORZ|XORC/XORZ)$", syntax):
        return "OneOf"
    if syntax.endswith("{WCZ}"):
        return "Same"
    return "Any"


def operands(syntax):
    ops = syntax.split(" ", 1)[1] if " " in syntax else ""
    return re.sub(r"\s*" + FLAG_RE + "$", "", ops).strip()


def flag_syntax(syntax):
    m = re.search("(" + FLAG_RE + ")$", syntax)
    return m.group(1) if m else ""


def fixed_bits(bits):
    mask = value = 0
    for i, ch in enumerate(bits):
        bit = 1 << (31 - i)
        if ch in "01":
            mask |= bit
            if ch == "1":
                value |= bit
    return mask & 0x0FFFFFFF, value & 0x0FFFFFFF


# Rows where the documentation's listing and the sheet differ, and why the
# sheet is kept.
DOC_DIFFERENCES = {
    "LOCKREL": "the listing shows 00L, but its own syntax and the lock section give LOCKREL WC: C0L kept",
    "GETRND": "the listing merges GETRND D (I=0) and GETRND WC/WZ/WCZ (I=1, no D) into one line",
    "GETRND_CZ": "the other half of that merged GETRND line",
}


def check_against_doc(rows, doc_path):
    doc = {}
    pattern = re.compile(r"^(EEEE|0000|1111) ([01A-Za-z]{7}) ([01A-Za-z]{3}) ([01A-Za-z]{9}) ([01A-Za-z]{9})\s+([A-Z_0-9]+)")
    with open(doc_path, encoding="utf-8") as f:
        for line in f:
            m = pattern.match(line)
            if m:
                doc.setdefault(m.group(6), []).append(fixed_bits("".join(m.group(i) for i in range(1, 6))))
    problems = []
    seen = 0
    for r in rows:
        listed = doc.get(r["mnemonic"])
        if not listed:
            continue
        seen += 1
        if (r["mask"] & 0x0FFFFFFF, r["value"] & 0x0FFFFFFF) not in listed:
            if r["name"] in DOC_DIFFERENCES:
                print("  known: %s: %s" % (r["name"], DOC_DIFFERENCES[r["name"]]))
                continue
            problems.append("%s (%s): %08X/%08X not in the documentation's %s" % (
                r["name"], r["syntax"], r["mask"], r["value"],
                ", ".join("%08X/%08X" % e for e in listed)))
    print("checked %d of %d rows against %s" % (seen, len(rows), doc_path))
    for p in problems:
        print("  " + p)
    return not problems


def first_int(text, default):
    m = re.match(r"\s*\+?(\d+)", text)
    return int(m.group(1)) if m else default


def clocks(text, default):
    """(fewest clocks, fewest clocks when a conditional branch is taken) from
    "2", "2...9", "2 or 4", "2 or 13...20", "5...12 *"."""
    base = first_int(text, default)
    taken = first_int(text.split(" or ", 1)[1], base) if " or " in text else base
    return base, taken


def read_corrections(path):
    fixes = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            if line.startswith("#") or line.startswith("op\t") or not line.strip():
                continue
            cols = line.rstrip("\n").split("\t")
            if len(cols) != 4 or not cols[3].strip():
                raise SystemExit("corrections: need op, column, value and a reason: " + line)
            fixes.setdefault(cols[0], {})[cols[1]] = cols[2]
    return fixes


def read_rows(src, fixes):
    # "row" corrections keep a row the sheet marks as an alias under its own
    # op name: an encoding no other row covers.
    kept_aliases = {f["row"]: name for name, f in fixes.items() if "row" in f}
    rows = []
    seen = {}
    ret_prefix = None
    with open(src, encoding="utf-8") as f:
        for line in f:
            if line.startswith("#") or line.startswith("syntax\t"):
                continue
            cols = line.rstrip("\n").split("\t")
            cols += [""] * (10 - len(cols))
            syntax, group, enc, alias, shield, ccog, chub, _regw, hubrw = cols[:9]
            if syntax.startswith("_RET_"):
                ret_prefix = (first_int(ccog, 2), first_int(chub, 11))
            kept = kept_aliases.get(syntax)
            if (alias and not kept) or group in ("Instruction Prefix", "MODCZ Operand") or syntax.startswith("<"):
                continue
            bits = enc.replace(" ", "")
            if len(bits) != 32:
                raise SystemExit("bad encoding: " + enc)
            mask = value = 0
            for i, ch in enumerate(bits):
                bit = 1 << (31 - i)
                if ch in "01":
                    mask |= bit
                    if ch == "1":
                        value |= bit
            mnemonic = syntax.split(" ")[0]
            name = kept or ident(mnemonic, syntax)
            if name in seen:
                raise SystemExit("duplicate name: " + name)
            seen[name] = True
            fix = fixes.pop(name, {})
            for column in fix:
                if column not in ("clocks_cog", "clocks_hub", "row"):
                    raise SystemExit("corrections: unknown column %s for %s" % (column, name))
            ccog = fix.get("clocks_cog", ccog).strip()
            hub = fix.get("clocks_hub", chub).strip()
            form = operands(syntax)
            flags = flag_syntax(syntax)
            if form not in FORMS:
                raise SystemExit("unknown operand form %r in %s" % (form, syntax))
            if flags not in FLAG_FORMS:
                raise SystemExit("unknown flag form %r in %s" % (flags, syntax))
            cog, cog_taken = clocks(ccog, 2)
            if hub in ("same", "FIFO IN USE", "ILLEGAL"):
                hub_base, hub_taken = cog, cog_taken
            else:
                hub_base, hub_taken = clocks(hub, cog)
            m = re.search(r"\+(\d+) if result", ccog)
            shared = 1 if (hubrw.strip() or group.startswith(SHARED_GROUPS)) else 0
            plain = (group in PLAIN_GROUPS or name in PLAIN_MORE) and name not in NOT_PLAIN
            rows.append(dict(name=name, mnemonic=mnemonic, syntax=syntax, group=group, mask=mask, value=value,
                             rule=cz_rule(syntax), form=FORMS[form], flags=FLAG_FORMS[flags],
                             shield=1 if shield.strip() else 0, cog=cog, hub=hub_base, cog_taken=cog_taken,
                             hub_taken=hub_taken, result=int(m.group(1)) if m else 0,
                             hub_exec={"FIFO IN USE": "FifoInUse", "ILLEGAL": "Illegal"}.get(hub, "Allowed"),
                             cog_text=ccog, hub_text=hub,
                             shared=shared, plain=plain))
    if fixes:
        raise SystemExit("corrections for unknown ops: " + ", ".join(sorted(fixes)))
    if ret_prefix is None:
        raise SystemExit("no _RET_ row")
    return rows, ret_prefix


def decode_index(rows):
    """Candidate rows per 7-bit opcode (bits 27..21), most specific first; the
    big group %1101011 once more by its S field. NOP (all zero) is decoded
    before the index."""
    def order(i):
        return -bin(rows[i]["mask"]).count("1")
    by_opcode = [[] for _ in range(128)]
    group6b = [[] for _ in range(512)]
    for i, r in enumerate(rows):
        if r["name"] == "NOP":
            continue
        for oc in range(128):
            if (oc << 21) & r["mask"] & 0x0FE00000 != r["value"] & 0x0FE00000:
                continue
            if oc == 0x6B:
                for s in range(512):
                    if s & r["mask"] & 0x1FF == r["value"] & 0x1FF:
                        group6b[s].append(i)
            else:
                by_opcode[oc].append(i)
    by_opcode = [sorted(v, key=order) for v in by_opcode]
    group6b = [sorted(v, key=order) for v in group6b]
    single = []
    for v in by_opcode:
        r = rows[v[0]] if len(v) == 1 else None
        ok = r is not None and r["rule"] == "Any" and (r["mask"] & 0x0FFFFFFF) == 0x0FE00000
        single.append(r["name"] if ok else "Invalid")
    return by_opcode, group6b, single


def flat(lists):
    start, items = [0], []
    for v in lists:
        items += v
        start.append(len(items))
    return start, items


def wrap(values, per_line=16):
    return ",\n".join("    " + ", ".join(str(v) for v in values[i:i + per_line])
                      for i in range(0, len(values), per_line))


def write_if_changed(path, text):
    try:
        with open(path, encoding="utf-8") as f:
            if f.read() == text:
                return
    except OSError:
        pass
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)


def main():
    if len(sys.argv) < 4:
        raise SystemExit(__doc__)
    src, corrections, out = sys.argv[1], sys.argv[2], sys.argv[3]
    doc = sys.argv[5] if len(sys.argv) > 5 and sys.argv[4] == "--check" else None
    rows, ret_prefix = read_rows(src, read_corrections(corrections))
    os.makedirs(out, exist_ok=True)
    head = "// Generated by isa_gen.py from instructions-v35.tsv and corrections.tsv. Do not edit.\n"

    write_if_changed(os.path.join(out, "ops.inc"), head + "".join("KIVO_OP(%s)\n" % r["name"] for r in rows))

    text = head + ("// {op, mnemonic, mask, value, cz rule, operand form, flag form, shield, cog clocks, hub clocks,\n"
                   "//  clocks when a branch is taken (cog, hub target), clocks for a result, hub exec, shared with\n"
                   "//  other cogs or the pins, clocks as the sheet gives them (cog; hub)}\n")
    for r in rows:
        text += ('{Op::%s, "%s", 0x%08Xu, 0x%08Xu, CzRule::%s, OperandForm::%s, FlagForm::%s, %d, %d, %d, %d, %d, '
                 '%d, HubExec::%s, %d, "%s; %s"},\n') % (
            r["name"], r["mnemonic"], r["mask"], r["value"], r["rule"], r["form"], r["flags"], r["shield"],
            r["cog"], r["hub"], r["cog_taken"], r["hub_taken"], r["result"], r["hub_exec"], r["shared"],
            r["cog_text"], r["hub_text"])
    write_if_changed(os.path.join(out, "table.inc"), text)

    text = head + "// By op, then Op::Invalid (an encoding no instruction has: it faults, 2 clocks).\n"
    for key, what in (("cog", "fewest clocks in cog/LUT exec"), ("hub", "fewest clocks in hub exec"),
                      ("cog_taken", "a taken branch to a cog/LUT address"),
                      ("hub_taken", "a taken branch to a hub address, before its hub wait"),
                      ("result", "more when the instruction gives a result")):
        text += "// %s\ninline constexpr std::uint8_t k%sClocks[] = {\n%s, %d};\n" % (
            what, "".join(w.capitalize() for w in key.split("_")), wrap([r[key] for r in rows]),
            0 if key == "result" else 2)
    text += ("// _RET_: more clocks for its return to a cog/LUT address, to a hub address (before its hub wait)\n"
             "inline constexpr int kRetCogClocks = %d, kRetHubClocks = %d;\n") % ret_prefix
    text += "// not allowed in hub exec (the FIFO is busy with instruction fetch)\n"
    text += "inline constexpr bool kFifoInUseInHubExec[] = {\n%s, false};\n" % wrap(
        ["true" if r["hub_exec"] == "FifoInUse" else "false" for r in rows], 8)
    text += "// touches hub RAM, the pins, events, the CORDIC, the streamer or the LUT: kept in clock order across cogs\n"
    text += "inline constexpr bool kSharedOps[] = {\n%s, true};\n" % wrap(
        ["true" if r["shared"] else "false" for r in rows], 8)
    text += "// its register operands: 1 D, 2 S (when not #S); from the operand form\n"
    text += "inline constexpr std::uint8_t kRegisterFields[] = {\n%s, 3};\n" % wrap(
        [REGISTER_FIELDS[r["form"]] for r in rows])
    text += "// runs on the cog's fast path (registers, C/Z, PC and stack only)\n"
    text += "inline constexpr bool kPlainOps[] = {\n%s, false};\n" % wrap(
        ["true" if r["plain"] else "false" for r in rows], 8)
    write_if_changed(os.path.join(out, "clocks.inc"), text)

    by_opcode, group6b, single = decode_index(rows)
    s1, i1 = flat(by_opcode)
    s2, i2 = flat(group6b)
    text = head + "// Rows (indexes into the table) per 7-bit opcode, most specific first.\n"
    text += "constexpr std::uint16_t kOpcodeStart[] = {\n%s};\n" % wrap(s1)
    text += "constexpr std::uint16_t kOpcodeRows[] = {\n%s};\n" % wrap(i1)
    text += "// The same for opcode %1101011 by its S field.\n"
    text += "constexpr std::uint16_t kGroupStart[] = {\n%s};\n" % wrap(s2)
    text += "constexpr std::uint16_t kGroupRows[] = {\n%s};\n" % wrap(i2)
    text += "// The op of an opcode that has exactly one row and no C/Z rule, else Op::Invalid.\n"
    text += "constexpr Op kSingleOp[] = {\n%s};\n" % wrap(["Op::" + s for s in single], 6)
    write_if_changed(os.path.join(out, "decode.inc"), text)

    if doc and not check_against_doc(rows, doc):
        sys.exit(1)


if __name__ == "__main__":
    main()
