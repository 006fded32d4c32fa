#!/usr/bin/env python3
"""Generates isa_ops.inc and isa_table.inc from the P2 Rev B/C instruction
sheet exported as TSV (syntax, group, encoding, alias, shield, clocks...).

    python3 sim/chip/isa_table.py instructions-v35.tsv sim/chip [--check p2silicon.md]

With --check, every row's encoding is compared with the instruction list in
the silicon documentation (lines "EEEE 0001000 CZI DDDDDDDDD SSSSSSSSS  ADD ...")
and the rows whose mnemonic the documentation lists with other fixed bits are
reported (exit status 1).

Aliases, prefixes and MODCZ operand names are left out: the decoder works on
the real encodings, the disassembler prints the base mnemonic.
"""
import re
import sys


# Groups whose instructions touch what other cogs or the pins see: the cog
# scheduler keeps these in clock order across cogs.
SHARED_GROUPS = ("Hub", "Smart Pins", "Pins", "Events", "CORDIC", "Streamer", "Lookup Table",
                 "Color Space Converter")


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
        return 1
    if syntax.endswith("{WCZ}"):
        return 2
    return 0


def form(syntax):
    ops = syntax.split(" ", 1)[1] if " " in syntax else ""
    ops = re.sub(r"\s*\{?(WC/WZ/WCZ|WC/WZ|ANDC/ANDZ|ORC/ORZ|XORC/XORZ|WCZ|WC|WZ)\}?$", "", ops).strip()
    return ops


def flags_form(syntax):
    m = re.search(r"(\{?(WC/WZ/WCZ|WC/WZ|ANDC/ANDZ|ORC/ORZ|XORC/XORZ|WCZ|WC|WZ)\}?)$", syntax)
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
    m = re.match(r"\s*(\d+)", text)
    return int(m.group(1)) if m else default


def main():
    src, out = sys.argv[1], sys.argv[2]
    doc = sys.argv[4] if len(sys.argv) > 4 and sys.argv[3] == "--check" else None
    rows = []
    seen = {}
    with open(src, encoding="utf-8") as f:
        for line in f:
            if line.startswith("#") or line.startswith("syntax\t"):
                continue
            cols = line.rstrip("\n").split("\t")
            cols += [""] * (10 - len(cols))
            syntax, group, enc, alias, shield, ccog, chub, _regw, hubrw = cols[:9]
            if alias or group in ("Instruction Prefix", "MODCZ Operand") or syntax.startswith("<"):
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
            name = ident(mnemonic, syntax)
            if name in seen:
                raise SystemExit("duplicate name: " + name)
            seen[name] = True
            hub = chub.strip()
            rows.append(dict(name=name, mnemonic=mnemonic, syntax=syntax, group=group, mask=mask, value=value,
                             rule=cz_rule(syntax), form=form(syntax), flags=flags_form(syntax),
                             shield=1 if shield.strip() else 0, cog=first_int(ccog, 2),
                             hub=first_int(hub, first_int(ccog, 2)) if hub != "same" else first_int(ccog, 2),
                             illegal_hub=1 if hub in ("FIFO IN USE", "ILLEGAL") else 0,
                             cog_text=ccog.strip(), hub_text=hub,
                             shared=1 if (hubrw.strip() or group.startswith(SHARED_GROUPS)) else 0))
    head = "// Generated by isa_table.py from the P2 Rev B/C instruction sheet. Do not edit.\n"
    with open(out + "/isa_ops.inc", "w", encoding="utf-8") as f:
        f.write(head)
        for r in rows:
            f.write("KIVO_OP(%s)\n" % r["name"])
    with open(out + "/isa_table.inc", "w", encoding="utf-8") as f:
        f.write(head)
        f.write("// {op, mnemonic, mask, value, cz rule, operands, flag suffixes, shield, cog clocks, hub clocks,\n"
                "//  not in hub exec, shared with other cogs or the pins, clocks as the sheet gives them (cog; hub)}\n")
        for r in rows:
            f.write('{Op::%s, "%s", 0x%08Xu, 0x%08Xu, %d, "%s", "%s", %d, %d, %d, %d, %d, "%s; %s"},\n' % (
                r["name"], r["mnemonic"], r["mask"], r["value"], r["rule"], r["form"].replace("\\", "\\\\"),
                r["flags"], r["shield"], r["cog"], r["hub"], r["illegal_hub"], r["shared"], r["cog_text"],
                r["hub_text"]))


    if doc and not check_against_doc(rows, doc):
        sys.exit(1)


if __name__ == "__main__":
    main()
