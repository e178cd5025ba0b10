#!/usr/bin/env python3
"""Writes a large, macro-heavy C source for the cppkv benchmarks.

    cppkv_macro_gen.py OUT.c [MEGABYTES]

A block of definitions at the top (object-like constants, function-like
helpers, macros that call other macros, stringizing and pasting) is
followed by functions that use them densely: nested calls, calls whose
argument list runs over two lines, a function-like macro passed as an
argument, # and ##. Each function also defines and uses one object-like
macro of its own. Deterministic, so runs are comparable.
"""
import sys

HEADER = """\
#define VALUE_BASE 7
#define LIMIT (VALUE_BASE * 16)
#define MIN(a, b) ((a) < (b) ? (a) : (b))
#define MAX(a, b) ((a) > (b) ? (a) : (b))
#define CLAMP(x, lo, hi) MIN(MAX(x, lo), hi)
#define TWICE(x) ((x) + (x))
#define APPLY(f, x) f(x)
#define STR(x) #x
#define XSTR(x) STR(x)
#define CAT(a, b) a ## b
#define FIELD(s, f) ((s)->CAT(f, _value))
#define ARRAY_SIZE(a) (sizeof(a) / sizeof((a)[0]))
#define LOG(level, msg) log_write(level, __FILE__, __LINE__, msg)
#define CHECK(cond) do { if (!(cond)) LOG(2, STR(cond)); } while (0)
struct st { int x_value; int y_value; };
"""


def chunk(i):
    return (
        f"#define SCALE_{i} (VALUE_BASE * {i % 13} + LIMIT)\n"
        f"int function_{i}(struct st *p, int a, int b)\n"
        f"{{\n"
        f"    int table[{i % 7 + 1}];\n"
        f"    int m = CLAMP(FIELD(p, x), SCALE_{i}, LIMIT);\n"
        f"    int CAT(v, {i}) = MAX(MAX(a, b), MIN(a, SCALE_{i}));\n"
        f"    const char *name = XSTR(SCALE_{i});\n"
        f"    CHECK(m < LIMIT && \"range \\\"{i}\\\"\");\n"
        f"    b = MAX(a,\n"
        f"            FIELD(p, y));\n"
        f"    return m + CAT(v, {i}) + APPLY(TWICE, a) + (int)ARRAY_SIZE(table) + name[0];\n"
        f"}}\n\n"
    )


def main():
    out = sys.argv[1]
    megabytes = float(sys.argv[2]) if len(sys.argv) > 2 else 40
    limit = int(megabytes * 1024 * 1024)
    size = 0
    i = 0
    parts = [HEADER]
    with open(out, "w", newline="\n") as f:
        while size < limit:
            text = chunk(i)
            parts.append(text)
            size += len(text)
            i += 1
            if len(parts) >= 1000:
                f.write("".join(parts))
                parts = []
        f.write("".join(parts))


if __name__ == "__main__":
    main()
