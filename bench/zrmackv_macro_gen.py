#!/usr/bin/env python3
"""Writes a macro-heavy assembler source for the macro processor benchmark.

Usage: zrmackv_macro_gen.py OUTPUT CALLS
Definitions with parameters and local labels, calls from the source, calls
nested three deep inside bodies, and repeat blocks. A run hands out at most
65534 local labels, so CALLS stays below 65000. Prints the number of
lines the line engine processes (source lines plus replayed body lines).
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
]
body_size = {}
for name, body, nested in definitions:
    size = len(body) + 1  # the closing .ENDM
    for line in body:
        for other, _, _ in definitions:
            if line.split("\t")[1:2] == [other]:
                size += body_size[other]
    if name == "FILL":
        size = 1 + 4 * 2 + 1  # .MREPEAT, four repetitions of the line and .ENDR, .ENDM
    body_size[name] = size

lines = []
for name, body, _ in definitions:
    lines.append(f"{name}\t.MACRO\tVALUE,DEST,LIMIT")
    lines.extend(body)
    lines.append("\t.ENDM")
processed = len(lines)

order = ["STORE", "PAIR", "BLOCK", "FILL"]
for i in range(calls):
    name = order[i % len(order)]
    lines.append(f"\t{name}\t{i % 100},R{i % 4},{i % 50 + 10}")
    lines.append(f"LAB{i}:\tADD.W\t#{i % 7},R1")
    processed += 2 + body_size[name]

with open(out_path, "w") as f:
    f.write("\n".join(lines) + "\n")
print(processed)
