#!/usr/bin/env python3
"""Writes a large generated C source for the cppkv benchmarks.

    cppkv_gen.py OUT.c [MEGABYTES]

The text mixes what the reader has to treat: block comments over several
lines, line comments, string and character literals with escapes, spliced
lines, macro definitions and conditional groups, and plain code. Beside
OUT.c it writes the folder inc/ with a guarded header that the source
includes every few hundred functions, and a chain of 40 headers, each
including the next, that the source includes once at the top. It is
deterministic, so runs are comparable.
"""
import os
import sys

CHAIN = 40


def write_headers(folder):
    inc = os.path.join(folder, "inc")
    os.makedirs(inc, exist_ok=True)
    with open(os.path.join(inc, "common.h"), "w", newline="\n") as f:
        f.write("#ifndef COMMON_H\n#define COMMON_H\n"
                "typedef unsigned char u8; /* bytes */\n"
                "#define COMMON_VERSION 3\n#endif\n")
    for i in range(1, CHAIN + 1):
        with open(os.path.join(inc, f"chain{i}.h"), "w", newline="\n") as f:
            f.write(f"/* level {i} */\nint chain_{i};\n")
            if i < CHAIN:
                f.write(f'#include "chain{i + 1}.h"\n')


def chunk(i):
    return (
        f"/* function {i}: a block comment\n"
        f" * that runs over a few lines, with \"quotes\" and 'apostrophes'\n"
        f" */\n"
        f"#define VALUE_{i} ({i} * 3 + \\\n"
        f"                  {i % 7})\n"
        f"#if {i % 2}\n"
        f"static const char *name_{i} = \"item number {i}\\n\\t\\\"quoted\\\"\"; // a line comment\n"
        f"#else\n"
        f"static const char *name_{i} = \"other {i}\";\n"
        f"#endif\n"
        f"int function_{i}(int a, int b)\n"
        f"{{\n"
        f"    int total = a + b * VALUE_{i}; /* inline comment */\n"
        f"    char c = '\\'';\n"
        f"    if (total > {i} && c != '\\0') {{\n"
        f"        total -= b; // adjust\n"
        f"    }}\n"
        f"    return total + sizeof(\"a string with // no comment /* inside */\");\n"
        f"}}\n\n"
    )


def write_generated(out, megabytes, head, chunk):
    """Writes head, then chunk(0), chunk(1), ... until the file holds
    about the given number of megabytes."""
    limit = int(megabytes * 1024 * 1024)
    size = 0
    i = 0
    parts = [head]
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


def chunk_with_includes(i):
    text = chunk(i)
    return '#include "inc/common.h"\n' + text if i % 500 == 0 else text


def main():
    out = sys.argv[1]
    megabytes = float(sys.argv[2]) if len(sys.argv) > 2 else 40
    write_headers(os.path.dirname(os.path.abspath(out)))
    write_generated(out, megabytes, '#include "inc/chain1.h"\n', chunk_with_includes)


if __name__ == "__main__":
    main()
