#!/usr/bin/env python3
"""Writes the seed corpus fuzz/corpus/<program>/ from the end-to-end cases.

Each case becomes one seed in the targets' input layout: its arguments that
appear in the target's option table become option picks (at most seven),
its input files become the parts of the text (the file the arguments name
first). Cases with generated (py) content are skipped, and so are seeds
over 8 KB. Run it again after adding cases; the seeds are small enough to
keep in the repository.
"""
import hashlib
import pathlib
import re
import shlex

ROOT = pathlib.Path(__file__).resolve().parent.parent
HEADER = re.compile(rb'^--- (\S+)(.*)$')
MAX_SEED = 8 * 1024
SEPARATOR = {'zrmackv': b'\n%%\n', 'cppkv': b'\n@@@@\n'}
PARTS = {'zrmackv': 3, 'cppkv': 3}


def option_table(program):
    text = (ROOT / 'fuzz' / f'{program}_fuzz.cpp').read_text()
    block = text[text.index('kOptions[] = {'):]
    block = block[:block.index('};')]
    return [(m.group(1).replace('\\\\', '\\'), m.group(2))
            for m in re.finditer(r'\{"((?:[^"\\]|\\.)*)"(?:, "(\w+)")?\}', block)]


def sections(path):
    kind, name, flags, body = None, None, [], []
    for line in path.read_bytes().splitlines(keepends=True):
        m = HEADER.match(line.rstrip(b'\n'))
        if m:
            if kind:
                yield kind, name, flags, b''.join(body)
            words = m.group(2).split()
            kind = m.group(1).decode()
            name = words[0].decode() if words and kind in ('file', 'expect', 'dir') else None
            flags = [w.decode() for w in words[1 if name else 0:]]
            body = []
        elif kind:
            body.append(line)
    if kind:
        yield kind, name, flags, b''.join(body)


def seed_of(case, program, table):
    args, env, files = [], {}, []
    for kind, name, flags, body in sections(case):
        if 'py' in flags or 'esc' in flags:
            return None
        if 'noeol' in flags and body.endswith(b'\n'):
            body = body[:-1]
        if kind == 'args':
            args = shlex.split(body.decode('latin-1'))
        elif kind == 'env':
            for line in body.decode('latin-1').splitlines():
                if '=' in line:
                    k, v = line.split('=', 1)
                    env[k] = v
        elif kind == 'file':
            files.append((name, body))
    picks = []
    for i, (arg, var) in enumerate(table):
        if len(picks) == 7:
            break
        if (var is None and arg.startswith(('-', '+')) and arg in args) or (var and env.get(var) == arg):
            picks.append(i)
    named = [a for a in args if not a.startswith(('-', '+'))]
    files.sort(key=lambda f: 0 if named and f[0].startswith(named[0]) else 1)
    parts = [body for _, body in files][:PARTS[program]]
    seed = bytes([len(picks)]) + bytes(picks) + SEPARATOR[program].join(parts)
    return seed if len(seed) <= MAX_SEED else None


# The demo sources as whole runs: (program, files in part order).
EXAMPLES = [
    ('zrmackv', ['examples/asm/blink.arq', 'examples/asm/inc/delay.inc', 'examples/asm/inc/ports.inc']),
    ('zrmackv', ['examples/asm/broken.arq', 'examples/asm/inc/delay_fast.inc']),
    ('cppkv', ['examples/c/main.c', 'examples/c/uart.h', 'examples/c/include/board.h']),
]


def main():
    for program in ('zrmackv', 'cppkv'):
        table = option_table(program)
        out = ROOT / 'fuzz' / 'corpus' / program
        out.mkdir(parents=True, exist_ok=True)
        for case in sorted((ROOT / 'tests' / 'cases' / program).glob('*.case')):
            seed = seed_of(case, program, table)
            if seed:
                digest = hashlib.sha1(seed).hexdigest()[:12]
                (out / f'{case.stem}-{digest}').write_bytes(seed)
    for program, names in EXAMPLES:
        seed = b'\0' + SEPARATOR[program].join((ROOT / n).read_bytes() for n in names)
        name = pathlib.Path(names[0]).stem
        (ROOT / 'fuzz' / 'corpus' / program / f'example-{name}').write_bytes(seed)


if __name__ == '__main__':
    main()
