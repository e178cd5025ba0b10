#!/usr/bin/env python3
"""Writes a large, macro-heavy C source for the cppkv benchmarks.

    cppkv_macro_gen.py OUT.c [MEGABYTES]

A block of definitions at the top (object-like constants, function-like
helpers, macros that call other macros, stringizing and pasting) is
followed by functions in which most lines use them: nested calls, a call
whose argument list runs over two lines, a function-like macro passed as
an argument, # and ##, __FILE__ and __LINE__. Each function also defines
and uses one object-like macro of its own. Deterministic, so runs are
comparable.
"""
import sys

from cppkv_gen import write_generated

HEADER = """\
#define BASE_ADDR 0x4000
#define VALUE_BASE 7
#define LIMIT (VALUE_BASE * 16)
#define MIN(a, b) ((a) < (b) ? (a) : (b))
#define MAX(a, b) ((a) > (b) ? (a) : (b))
#define CLAMP(x, lo, hi) MIN(MAX(x, lo), hi)
#define TWICE(x) ((x) + (x))
#define APPLY(f, x) f(x)
#define STR(x) #x
#define CAT(a, b) a ## b
#define FIELD(s, f) ((s)->CAT(f, _value))
#define READ_REG(r) (*(volatile unsigned *)(r))
#define ARRAY_SIZE(a) (sizeof(a) / sizeof((a)[0]))
#define CHECK(cond) do { if (!(cond)) log_write(2, __FILE__, __LINE__, STR(cond)); } while (0)
struct st { int x_value; int y_value; };
"""


def chunk(i):
    return (
        f"/* handler {i}: reads its register and combines the operands */\n"
        f"#define REG_{i} (BASE_ADDR + {i % 256})\n"
        f"static int handler_{i}(struct st *p, int a, int b)\n"
        f"{{\n"
        f"    int table[{i % 7 + 1}];\n"
        f"    int total = a + b * {i % 13};\n"
        f"    int limit = MIN(a, LIMIT);\n"
        f"    if (total > MAX(a, b) && table[0] != 0) {{\n"
        f"        total -= b;\n"
        f"    }}\n"
        f"    p->x_value = READ_REG(REG_{i}) + FIELD(p, y);\n"
        f"    const char *tag = STR(handler_{i} \"{i}\");\n"
        f"    int CAT(local_, {i}) = CLAMP(total, 0, LIMIT);\n"
        f"    CHECK(total < {i + 100});\n"
        f"    total += APPLY(TWICE, a) + (int)ARRAY_SIZE(table);\n"
        f"    log_write(1, \"value\", total,\n"
        f"              limit);\n"
        f"    b = MAX(a,\n"
        f"            b);\n"
        f"    return total + CAT(local_, {i}) + tag[0];\n"
        f"}}\n\n"
    )


def main():
    out = sys.argv[1]
    megabytes = float(sys.argv[2]) if len(sys.argv) > 2 else 40
    write_generated(out, megabytes, HEADER, chunk)


if __name__ == "__main__":
    main()
