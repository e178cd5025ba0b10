#!/usr/bin/env python3
"""Writes a macro-heavy assembler source for the macro processor benchmark.

Usage: zrmackv_macro_gen.py OUTPUT CALLS
Definitions with parameters and local labels, calls from the source, calls
nested three deep inside bodies, repeat blocks inside bodies and in the
source (with ..MACREP, and one left early by .EXITM), and the string
functions .LEN, .INSTR and .SUBSTR in bodies and in repeat blocks. A run
hands out at most 65534 local labels, so CALLS stays below 65000. Prints
the number of lines the line engine processes (source lines plus replayed
body lines).
"""
import sys

out_path, calls = sys.argv[1], int(sys.argv[2])

definitions = [
    # name, body lines, nested call (or None)
    ("STORE", ["\tCMP.W\t#LIMIT,VALUE", "\tJGE\tDONE@DEST",
               "\tMOV.W\tVALUE,DEST\t; keep it", "\tADD.W\t#1,DEST"], None),
    ("PAIR", ["\t.LOCAL\tL1", "L1:\tMOV.W\t#VALUE,R0", "\tSTORE\tVALUE,DEST,LIMIT",
              "\tJNE\tL1"], "STORE"),
    ("BLOCK", ["\t.LOCAL\tTOP", "TOP:\tPAIR\tVALUE,DEST,LIMIT", "\tNOP",
               "\tPAIR\tLIMIT,DEST,VALUE", "\tJMP\tTOP"], "PAIR"),
    ("FILL", ["\t.MREPEAT\t4", "\tMOV.B\t#VALUE,DEST", "\t.ENDR"], None),
    ("TEXT", ["\tMOV.W\t#.LEN{'VALUE'},DEST", "\tMOV.W\t#.INSTR{'ABCDEFGH','DE',VALUE},DEST",
              "\tMOV.B\t#.SUBSTR{'ABCDEFGH', 2, 3},DEST\t; three letters"], None),
]
body_size = {}
for name, body, nested in definitions:
    size = len(body) + 1  # the closing .ENDM
    for line in body:
        for other, _, _ in definitions:
            if line.split("\t")[1:2] == [other]:
                size += body_size[other]
    if name == "FILL":
        # .MREPEAT, the line and .ENDR as they are recorded, four
        # repetitions of both, .ENDM.
        size = 1 + 2 + 4 * 2 + 1
    body_size[name] = size

lines = []
for name, body, _ in definitions:
    lines.append(f"{name}\t.MACRO\tVALUE,DEST,LIMIT")
    lines.extend(body)
    lines.append("\t.ENDM")
processed = len(lines)

# Repeat blocks in the source: recorded (every line once), then each
# repetition replays the body and the closing .ENDR.
counted_repeat = [
    "\t.MREPEAT\t3",
    "\tMOV.W\t#..MACREP,R2",
    "\tCMP.W\t#.LEN{\"..MACREP\"},R3",
    "\t.ENDR",
]
counted_repeat_lines = len(counted_repeat) + 3 * (len(counted_repeat) - 2 + 1)
# Left by .EXITM in its second repetition: both repetitions replay all
# five stored lines (the rest of the second one is skipped line by line).
exit_repeat = [
    "\t.MREPEAT\t4",
    "\t.IF\t..MACREP == 2",
    "\t.EXITM",
    "\t.ENDIF",
    "\tNOP",
    "\t.ENDR",
]
exit_repeat_lines = len(exit_repeat) + 2 * (len(exit_repeat) - 1)

order = ["STORE", "PAIR", "BLOCK", "FILL", "TEXT"]
for i in range(calls):
    name = order[i % len(order)]
    lines.append(f"\t{name}\t{i % 100},R{i % 4},{i % 50 + 10}")
    lines.append(f"LAB{i}:\tADD.W\t#{i % 7},R1")
    processed += 2 + body_size[name]
    if i % 8 == 7:
        lines.extend(counted_repeat)
        processed += counted_repeat_lines
    if i % 16 == 15:
        lines.extend(exit_repeat)
        processed += exit_repeat_lines

with open(out_path, "w") as f:
    f.write("\n".join(lines) + "\n")
print(processed)
