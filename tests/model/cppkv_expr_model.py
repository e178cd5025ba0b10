#!/usr/bin/env python3
"""An independent model of cppkv's #if/#elif/#assert expression evaluation,
and a driver that compares it with the program on generated expressions.

The model is written from the rules of the evaluation alone: the line's
escape conversion, then the text passes (`defined`, macro expansion,
hexadecimal and octal constants, the L suffix, quoted character constants,
identifiers to 0), the tokenizer, and the reduction by priority with 32-bit
signed and unsigned arithmetic. It is deliberately a different program from
the evaluator: a plain list of nodes reduced one operator at a time.

Run as a check:

    cppkv_expr_model.py --cppkv build/cppkv [--seed N] [--count N]

Each generated expression is written as an `#assert` line or as an `#elif`
line (the `#elif` guarding a missing include, whose "not found" error shows
the branch was taken), together with two derived lines that pin down the
value and its signedness. All lines go through one run of cppkv per batch;
the messages on each line are compared with what the model predicts. The
closing line is "N passed, N failed"; the exit code is 1 on any difference.
"""
import argparse
import os
import random
import re
import subprocess
import sys
import tempfile

MASK = 0xFFFFFFFF


class Fail(Exception):
    """The evaluation fails: the program reports "illegal operation"."""


def to_signed(v):
    v &= MASK
    return v - (1 << 32) if v & 0x80000000 else v


def is_ident_start(c):
    return c.isascii() and (c.isalpha() or c == '_')


def is_ident_char(c):
    return c.isascii() and (c.isalnum() or c == '_')


def is_digit(c):
    return '0' <= c <= '9'


HEX_DIGITS = '0123456789abcdefABCDEF'
SIMPLE_ESCAPES = {'a': 7, 'b': 8, 'f': 12, 'n': 10, 'r': 13, 't': 9, 'v': 11,
                  "'": 39, '"': 34, '?': 63, '\\': 92}

W_ESCAPE = 'escape sequence out of range for character'
W_ZERO = 'zero divide'


# ---------------------------------------------------------------- escapes

def convert_escapes(line, warnings):
    """Replaces each escaped character constant, quotes included, by its
    decimal code. Returns the new line, or raises Fail for an escape that
    cannot stand alone between its quotes (the evaluation of the line will
    fail in any case)."""
    out = []
    inside = None          # the quote that opened the current literal
    i = 0
    broken = False
    while i < len(line):
        c = line[i]
        if c in '\'"' and inside in (None, c):
            inside = None if inside else c
            out.append(c)
            i += 1
            continue
        if not inside or c != '\\':
            out.append(c)
            i += 1
            continue
        # A backslash inside a literal.
        j = i + 1
        nxt = line[j] if j < len(line) else ''
        if nxt in SIMPLE_ESCAPES:
            value = SIMPLE_ESCAPES[nxt]
            j += 1
        elif '0' <= nxt <= '7':
            k = j
            while k < len(line) and k < j + 3 and '0' <= line[k] <= '7':
                k += 1
            value = int(line[j:k], 8)
            j = k
        elif nxt == 'x' and j + 1 < len(line) and line[j + 1] in HEX_DIGITS:
            k = j + 1
            while k < len(line) and line[k] in HEX_DIGITS:
                k += 1
            value = int(line[j + 1:k], 16)
            j = k
        else:
            # Left as it is: the evaluation fails on the backslash.
            out.append(c)
            i += 1
            broken = True
            continue
        if value > 255:
            warnings.append(W_ESCAPE)
            value &= 0xFF
        opened = out and out[-1] == inside
        closed = j < len(line) and line[j] == inside
        if opened and closed:
            out.pop()
            out.append(str(value))
            inside = None
            i = j + 1
        else:
            # An escape that shares its quotes with other characters.
            broken = True
            out.append(str(value))
            i = j
    if broken:
        raise Fail('escape not alone in its constant')
    return ''.join(out)


# ---------------------------------------------------------------- passes

def skip_blanks(text, i):
    while i < len(text) and text[i] in ' \t':
        i += 1
    return i


def read_ident(text, i):
    j = i
    while j < len(text) and is_ident_char(text[j]):
        j += 1
    return text[i:j], j


def copy_quoted(text, i, out):
    """Copies a quoted part (to its closing quote or the end) unchanged."""
    q = text[i]
    j = text.find(q, i + 1)
    j = len(text) if j < 0 else j + 1
    out.append(text[i:j])
    return j


def pass_defined(text, macros):
    out = []
    i = 0
    while i < len(text):
        c = text[i]
        if c in '\'"':
            i = copy_quoted(text, i, out)
        elif is_digit(c):
            word, i = read_ident(text, i)     # a number and what sticks to it
            out.append(word)
        elif is_ident_start(c):
            word, j = read_ident(text, i)
            if not word.startswith('defined'):
                out.append(word)
                i = j
                continue
            rest = word[len('defined'):]
            if rest:
                if not is_ident_start(rest[0]):
                    raise Fail('defined followed by digits')
                name = rest
            else:
                j = skip_blanks(text, j)
                paren = j < len(text) and text[j] == '('
                if paren:
                    j = skip_blanks(text, j + 1)
                if j >= len(text) or not is_ident_start(text[j]):
                    raise Fail('defined without a name')
                name, j = read_ident(text, j)
                if paren:
                    j = skip_blanks(text, j)
                    if j >= len(text) or text[j] != ')':
                        raise Fail('defined without )')
                    j += 1
            out.append(' 1 ' if name in macros else ' 0 ')
            i = j
        else:
            out.append(c)
            i += 1
    return ''.join(out)


def pass_macros(text, macros, active=frozenset()):
    """Object-like macro expansion with rescanning; a macro is not expanded
    again inside its own replacement."""
    out = []
    i = 0
    while i < len(text):
        c = text[i]
        if c in '\'"':
            i = copy_quoted(text, i, out)
        elif is_digit(c):
            word, i = read_ident(text, i)
            out.append(word)
        elif is_ident_start(c):
            word, i = read_ident(text, i)
            if word in macros and word not in active:
                out.append(pass_macros(macros[word], macros, active | {word}))
            else:
                out.append(word)
        else:
            out.append(c)
            i += 1
    return ''.join(out)


def pass_numbers(text):
    out = []
    i = 0
    while i < len(text):
        c = text[i]
        if c in '\'"':
            i = copy_quoted(text, i, out)
        elif is_ident_start(c):
            word, i = read_ident(text, i)
            out.append(word)
        elif is_digit(c):
            if c == '0' and text[i + 1:i + 2] in ('x', 'X') and \
                    text[i + 2:i + 3] != '' and text[i + 2] in HEX_DIGITS:
                j = i + 2
                while j < len(text) and text[j] in HEX_DIGITS:
                    j += 1
                out.append(str(int(text[i + 2:j], 16) & MASK))
            elif c == '0' and i + 1 < len(text) and is_digit(text[i + 1]):
                j = i + 1
                value = 0
                while j < len(text) and is_digit(text[j]):
                    value = (value * 8 + (ord(text[j]) & 7)) & MASK
                    j += 1
                out.append(str(value))
            else:
                j = i
                while j < len(text) and is_digit(text[j]):
                    j += 1
                out.append(text[i:j])
            i = j
        else:
            out.append(c)
            i += 1
    return ''.join(out)


def pass_long_suffix(text):
    out = []
    for i, c in enumerate(text):
        if c in 'Ll' and i > 0 and is_digit(text[i - 1]) and \
                not (i + 1 < len(text) and text[i + 1].isascii() and text[i + 1].isalnum()):
            continue
        out.append(c)
    return ''.join(out)


def pass_characters(text):
    """A quote of either kind, one character, the same quote: the
    character's code (as the escape conversion, it treats both alike)."""
    out = []
    i = 0
    while i < len(text):
        if text[i] in '\'"' and i + 2 < len(text) and text[i + 2] == text[i]:
            out.append(str(ord(text[i + 1]) & 0xFF))
            i += 3
        else:
            out.append(text[i])
            i += 1
    return ''.join(out)


def pass_identifiers(text):
    out = []
    i = 0
    while i < len(text):
        c = text[i]
        if is_ident_start(c):
            word, j = read_ident(text, i)
            if word in ('u', 'U') and i > 0 and is_digit(text[i - 1]):
                out.append(word)
            else:
                out.append('0')
            i = j
        elif is_digit(c):
            j = i
            while j < len(text) and is_digit(text[j]):
                j += 1
            out.append(text[i:j])
            i = j
        else:
            out.append(c)
            i += 1
    return ''.join(out)


# ---------------------------------------------------------------- tokens

PRIORITY = {'(': 1, ')': 1, '!': 2, '~': 2, '*': 3, '/': 3, '%': 3, '+': 4,
            '-': 4, '<<': 5, '>>': 5, '<': 6, '<=': 6, '>': 6, '>=': 6,
            '==': 7, '!=': 7, '&': 8, '^': 9, '|': 10, '&&': 11, '||': 12,
            '?': 13, ':': 14}
OPERATORS = sorted(PRIORITY, key=len, reverse=True)


class Num:
    __slots__ = ('value', 'unsigned')

    def __init__(self, value, unsigned):
        self.value = value & MASK
        self.unsigned = unsigned

    def __repr__(self):
        return f'{to_signed(self.value)}{"u" if self.unsigned else ""}'


def tokenize(text):
    tokens = []
    i = 0
    while i < len(text):
        c = text[i]
        if c in ' \t':
            i += 1
        elif is_digit(c):
            j = i
            while j < len(text) and is_digit(text[j]):
                j += 1
            value = int(text[i:j]) & MASK
            unsigned = False
            if j < len(text) and text[j] in 'uU':
                unsigned = True
                j += 1
                if j < len(text) and text[j] in 'uU':
                    raise Fail('second unsigned suffix')
            tokens.append(Num(value, unsigned))
            i = j
        else:
            for op in OPERATORS:
                if text.startswith(op, i):
                    tokens.append(op)
                    i += len(op)
                    break
            else:
                raise Fail(f'character {c!r}')
    return tokens


# ---------------------------------------------------------------- reduction

def is_num(x):
    return isinstance(x, Num)


def div_like(op, left, right, unsigned, warnings):
    if right.value == 0:
        warnings.append(W_ZERO)
        return 0
    if unsigned:
        a, b = left.value, right.value
        return a // b if op == '/' else a % b
    a, b = to_signed(left.value), to_signed(right.value)
    q = abs(a) // abs(b)
    if (a < 0) != (b < 0):
        q = -q
    return q if op == '/' else a - q * b


def binary(op, left, right, warnings):
    unsigned = left.unsigned or right.unsigned
    lu, ru = left.value, right.value
    ls, rs = to_signed(lu), to_signed(ru)
    a, b = (lu, ru) if unsigned else (ls, rs)
    if op in ('/', '%'):
        value = div_like(op, left, right, unsigned, warnings)
    elif op == '*':
        value = lu * ru
    elif op == '+':
        value = lu + ru
    elif op == '-':
        value = lu - ru
    elif op == '<<':
        value = lu << (ru & 31)
    elif op == '>>':
        value = a >> (ru & 31)
    elif op == '<':
        value = int(a < b)
    elif op == '<=':
        value = int(a <= b)
    elif op == '>':
        value = int(a > b)
    elif op == '>=':
        value = int(a >= b)
    elif op == '==':
        value = int(lu == ru)
    elif op == '!=':
        value = int(lu != ru)
    elif op == '&':
        value = lu & ru
    elif op == '^':
        value = lu ^ ru
    elif op == '|':
        value = lu | ru
    elif op == '&&':
        value = int(lu != 0 and ru != 0)
    elif op == '||':
        value = int(lu != 0 or ru != 0)
    else:
        raise Fail(f'operator {op} between numbers')
    return Num(value, unsigned)


def clean_right(nodes, i):
    """Tidies the signs right of position i: '+' goes, '-' before a number
    folds into it, '-' '+' loses the '+', '-' '-' becomes '+'."""
    while i + 1 < len(nodes):
        a = nodes[i + 1]
        b = nodes[i + 2] if i + 2 < len(nodes) else None
        if a == '+':
            del nodes[i + 1]
        elif a == '-' and is_num(b):
            nodes[i + 1:i + 3] = [Num(-b.value, b.unsigned)]
        elif a == '-' and b == '+':
            del nodes[i + 2]
        elif a == '-' and b == '-':
            nodes[i + 1:i + 3] = ['+']
        else:
            return


def choose(nodes):
    """The index of the operator to apply next, or ('paren', open_index)
    when a parenthesised part holds only its number."""
    start = 0
    while True:
        best = None
        k = start
        while k < len(nodes):
            t = nodes[k]
            if not is_num(t):
                if t == ')' and (best is None or nodes[best] != '('):
                    break
                if best is None or PRIORITY[t] < PRIORITY[nodes[best]]:
                    best = k
                    if t == '(':
                        break       # nothing binds tighter, nothing further left
            k += 1
        if best is None:
            if start > 0 and k == start + 1 and k < len(nodes) and \
                    nodes[k] == ')' and is_num(nodes[start]):
                return ('paren', start - 1)
            raise Fail('nothing to apply')
        if nodes[best] == '(':
            start = best + 1
            continue
        if nodes[best] == '?':
            # Chained conditionals group from the right: the last '?' of
            # the part applies first.
            k = best
            while k < len(nodes) and nodes[k] != ')':
                if nodes[k] == '?':
                    best = k
                k += 1
        elif nodes[best] in ('!', '~'):
            while best + 1 < len(nodes) and nodes[best + 1] in ('!', '~', '+', '-'):
                best += 1
        return best


def reduce(nodes, warnings):
    if not nodes:
        raise Fail('empty expression')
    while len(nodes) > 1:
        pick = choose(nodes)
        if isinstance(pick, tuple):
            i = pick[1]
            nodes[i:i + 3] = [nodes[i + 1]]
            continue
        i = pick
        op = nodes[i]
        clean_right(nodes, i)
        right = nodes[i + 1] if i + 1 < len(nodes) else None
        left = nodes[i - 1] if i > 0 else None
        if op in ('!', '~') or (op in ('+', '-') and not is_num(left)):
            if not is_num(right):
                raise Fail('unary operator without operand')
            if op == '!':
                value = int(right.value == 0)
            elif op == '~':
                value = ~right.value
            elif op == '-':
                value = -right.value
            else:
                value = right.value
            nodes[i:i + 2] = [Num(value, right.unsigned)]
        elif op == '?':
            if not (is_num(left) and is_num(right) and i + 3 < len(nodes)
                    and nodes[i + 2] == ':' and is_num(nodes[i + 3])):
                raise Fail('incomplete conditional')
            chosen = right if left.value else nodes[i + 3]
            nodes[i - 1:i + 4] = [chosen]
        else:
            if not (is_num(left) and is_num(right)):
                raise Fail('operand missing')
            nodes[i - 1:i + 2] = [binary(op, left, right, warnings)]
    if not is_num(nodes[0]):
        raise Fail('operator alone')
    return nodes[0]


def evaluate(text, macros, escapes):
    """Returns (ok, value, unsigned, warnings) for one directive's text.
    `escapes` is true for #if/#elif lines, false for #assert."""
    warnings = []
    try:
        if escapes:
            text = convert_escapes(text, warnings)
        text = pass_defined(text, macros)
        text = pass_macros(text, macros)
        text = pass_numbers(text)
        text = pass_long_suffix(text)
        text = pass_characters(text)
        text = pass_identifiers(text)
        result = reduce(tokenize(text), warnings)
    except Fail:
        return False, 0, False, warnings
    return True, result.value, result.unsigned, warnings


# ---------------------------------------------------------------- generator

# Object-like macros every generated file starts with. None of the bodies
# names another macro: expansion in expressions does not rescan yet.
MACROS = {
    'ONE': '1',
    'NEG': '-1',
    'BIG': '0xFFFFFFFF',
    'UNS': '7u',
    'SUM': '(2+3)',
    'BARE': '2+3',
    'CH': "'A'",
    'SELF': 'SELF',
    'EMPTY': '',
    '_x': '3',
    'X': '5',
}
UNDEFINED = ['FOO', 'bar', 'y1', '_z', 'u', 'U', 'L', 'l', 'x', 'definedness']
BINARY = ['*', '/', '%', '+', '-', '<<', '>>', '<', '<=', '>', '>=', '==',
          '!=', '&', '^', '|', '&&', '||']
SUFFIXES = ['u', 'U', 'L', 'l', 'UL', 'ul', 'LU', 'lU', 'LL', 'uu', 'Lu', 'L_', 'u_', '_']
PRINTABLE = [chr(c) for c in range(32, 127) if chr(c) not in "'\\"]


class Gen:
    def __init__(self, rng, escapes):
        self.rng = rng
        self.escapes = escapes          # character escapes allowed
        self.malformed = False

    def pick(self, *weighted):
        total = sum(w for w, _ in weighted)
        x = self.rng.uniform(0, total)
        for w, f in weighted:
            x -= w
            if x <= 0:
                return f()
        return weighted[-1][1]()

    def decimal(self):
        r = self.rng
        return self.pick(
            (6, lambda: str(r.randint(0, 20))),
            (2, lambda: str(r.randint(0, MASK))),
            (1, lambda: str(r.choice([2147483647, 2147483648, 4294967295, 4294967296]))),
            (1, lambda: str(r.randint(1, 10 ** r.randint(10, 30)))),
        )

    def hexadecimal(self):
        r = self.rng
        digits = ''.join(r.choice(HEX_DIGITS) for _ in range(r.choice([1, 2, 4, 8, 8, 9, 12])))
        return '0' + r.choice('xX') + digits

    def octal(self):
        r = self.rng
        digits = ''.join(r.choice('0123456701234567' + '89') for _ in range(r.randint(1, 12)))
        return '0' + digits

    def number(self):
        text = self.pick((6, self.decimal), (3, self.hexadecimal), (2, self.octal))
        if self.rng.random() < 0.25:
            text += self.rng.choice(SUFFIXES)
        return text

    def character(self):
        r = self.rng
        if not self.escapes:
            return "'" + r.choice(PRINTABLE) + "'"

        def simple():
            return '\\' + r.choice('abfnrtv\'"?\\')

        def octal():
            return '\\' + oct(r.choice([0, 7, 65, 255, 256, 511, r.randint(0, 511)]))[2:][:3]

        def hexa():
            value = r.choice([0, 65, 255, 256, 321, 0x100000041, r.randint(0, 4095)])
            return '\\x' + '0' * r.randint(0, 3) + format(value, r.choice(['x', 'X']))

        body = self.pick((4, lambda: r.choice(PRINTABLE)), (2, simple), (2, octal), (2, hexa))
        quote = '"' if r.random() < 0.1 and body != '"' else "'"
        return quote + body + quote

    def identifier(self):
        r = self.rng
        return self.pick(
            (3, lambda: r.choice(list(MACROS))),
            (2, lambda: r.choice(UNDEFINED)),
            (3, lambda: r.choice(['defined ', 'defined\t', 'defined(', 'defined ( '])
             + r.choice(list(MACROS) + UNDEFINED)),
            (1, lambda: 'defined' + r.choice(['_x', 'X', 'ONE', 'FOO', '_q'])),
        )

    def bad(self):
        """An operand or operator that makes the expression fail."""
        self.malformed = True
        r = self.rng
        choices = ['=', '(', ')', '@', '1 2', '+', '*', 'defined', 'defined(X', '#',
                   "'ab'", "''", '"x"', '?', ':', '1 ?', '$']
        if self.escapes:
            choices += ["'a\\n'", "'\\q'", "'\\08'"]
        # Blanks around it, so that a '*' after a '/' never opens a comment.
        return ' ' + r.choice(choices) + ' '

    def operand(self, depth):
        r = self.rng
        if depth <= 0 or r.random() < 0.3:
            return self.pick((6, self.number), (2, self.character), (3, self.identifier),
                             (0.15, self.bad))
        return self.pick(
            (3, lambda: self.sp() + r.choice(['!', '~', '-', '+']) + self.sp()
             + self.operand(depth - 1)),
            (6, lambda: self.operand(depth - 1) + self.sp() + r.choice(BINARY) + self.sp()
             + self.operand(depth - 1)),
            (2, lambda: self.operand(depth - 1) + self.sp() + '?' + self.sp()
             + self.operand(depth - 1) + self.sp() + ':' + self.sp() + self.operand(depth - 1)),
            (3, lambda: '(' + self.sp() + self.operand(depth - 1) + self.sp() + ')'),
        )

    def sp(self):
        return self.rng.choice(['', '', ' ', ' ', '\t', '  '])

    def expression(self):
        return self.operand(self.rng.randint(1, 6))


def long_expressions(n):
    """Expressions whose size is the point: nesting and chains."""
    return [
        '(' * n + '1' + ')' * n,
        '-' * n + '1',
        '- ' * n + '1',
        '!' * n + '1',
        '~' * (n + 1) + '0',
        '-~' * n + '1',
        '1' + '+1' * n + ' == ' + str(n + 1),
        '1' + '-1' * n,
        '1?' * n + '7' + ':0' * n,
        '0?1:' * n + '9',
        '(' * n + '1' + '+1)' * n + ' == ' + str(n + 1),
        '1' + '*2' * n,
        '1' + '<<1' * 31 + '>>31' + '|0' * n,
    ]


# ---------------------------------------------------------------- driver

MESSAGE = re.compile(r'^\[(Error|Warning)\(cppkv\.\d+\):t\.c, line (\d+)\] (.*)$')


# How each form places the expression: the lines written (EXPR and N
# replaced), which of them holds the expression, and whether its value can
# be seen. In the forms that cannot take the branch, only the messages on
# the directive's line are compared: a failing #if in a skipped group is
# silent, a failing #elif is reported wherever it stands.
FORMS = {
    'assert': (['#assert EXPR'], 0, 'value'),
    'if': (['#if EXPR', '#include "mN.h"', '#endif'], 0, 'value'),
    'elif': (['#if 0', '#elif EXPR', '#include "mN.h"', '#endif'], 1, 'value'),
    'skipped': (['#if 0', '#if EXPR', '#include "mN.h"', '#endif', '#endif'], 1, 'silent'),
    'elif_late': (['#if 1', '#elif EXPR', '#include "mN.h"', '#endif'], 1, 'reported'),
    'elif_skipped': (['#if 0', '#if 0', '#elif EXPR', '#include "mN.h"', '#endif', '#endif'],
                     2, 'reported'),
}


class Check:
    """One directive to run, and what the model expects of it."""

    def __init__(self, form, text, origin):
        self.form = form
        self.text = text
        self.origin = origin    # the generated expression it came from
        ok, value, unsigned, warnings = evaluate(text, MACROS, form != 'assert')
        self.ok, self.value, self.unsigned, self.warnings = ok, value, unsigned, warnings
        self.line = 0

    def lines(self, index):
        return [t.replace('EXPR', self.text).replace('mN', f'm{index}')
                for t in FORMS[self.form][0]]

    def expected(self):
        """The outcome the model predicts ('fail', 'zero', 'true' or, where
        the value is not seen, 'done'), and the warnings (compared only for
        evaluations that succeed)."""
        seen = FORMS[self.form][2]
        if not self.ok:
            return ('done' if seen == 'silent' else 'fail'), None
        if seen != 'value':
            return 'done', self.warnings
        return ('true' if self.value else 'zero'), self.warnings

    def observed(self, messages):
        at_line = self.line + FORMS[self.form][1]
        at = messages.get(at_line, [])
        texts = [t for _, t in at]
        warnings = [t for kind, t in at if kind == 'Warning' and t != 'assertion warning']
        if 'illegal operation' in texts:
            return 'fail', warnings
        if FORMS[self.form][2] != 'value':
            return 'done', warnings
        if self.form == 'assert':
            return ('zero' if 'assertion warning' in texts else 'true'), warnings
        taken = any(t.startswith('include file not found') for _, t in
                    messages.get(at_line + 1, []))
        return ('true' if taken else 'zero'), warnings


def derived_checks(form, expr, rng):
    """The expression itself, and when it has a value, two more that pin
    down that value and whether it is unsigned."""
    first = Check(form, expr, expr)
    checks = [first]
    if first.ok:
        other = 'assert' if form == 'assert' else rng.choice(['assert', 'elif', 'if'])
        checks.append(Check(other, f'({expr}) == {to_signed(first.value)}', expr))
        checks.append(Check(other, f'(0*({expr})-1) < 0', expr))
    return checks


def run_batch(cppkv, checks, workdir):
    header = [f'#define {name} {body}'.rstrip() for name, body in MACROS.items()]
    lines = list(header)
    for index, check in enumerate(checks):
        check.line = len(lines) + 1
        lines.extend(check.lines(index))
    path = os.path.join(workdir, 't.c')
    with open(path, 'w', encoding='latin-1') as f:
        f.write('\n'.join(lines) + '\n')
    proc = subprocess.run([cppkv, 't.c'], cwd=workdir, capture_output=True, timeout=300)
    messages = {}
    for raw in proc.stderr.decode('latin-1').splitlines():
        m = MESSAGE.match(raw)
        if m:
            messages.setdefault(int(m.group(2)), []).append((m.group(1), m.group(3)))
        elif raw.strip():
            raise SystemExit(f'unexpected message: {raw}')
    return messages


def compare(checks, messages):
    failures = []
    for check in checks:
        want = check.expected()
        got = check.observed(messages)
        if want[0] != got[0] or (want[1] is not None and want[1] != got[1]):
            failures.append((check, want, got))
    return failures


def generate(rng, count):
    expressions = []
    for _ in range(count):
        form = rng.choice(['assert', 'assert', 'elif', 'if', 'skipped', 'elif_late',
                           'elif_skipped'])
        gen = Gen(rng, escapes=form != 'assert')
        expressions.append((form, gen.expression()))
    return expressions


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('--cppkv', required=True)
    parser.add_argument('--seed', type=int, default=1)
    parser.add_argument('--count', type=int, default=1500)
    parser.add_argument('--long', type=int, default=300,
                        help='size of the nesting and chain expressions (0: none)')
    parser.add_argument('--batch', type=int, default=400)
    parser.add_argument('--show', type=int, default=20, help='differences to print')
    parser.add_argument('--keep', help='folder to write the runs into (kept)')
    args = parser.parse_args()

    rng = random.Random(args.seed)
    expressions = generate(rng, args.count)
    if args.long:
        expressions += [(form, e) for e in long_expressions(args.long)
                        for form in ('assert', 'elif', 'skipped')]
    checks = [c for form, expr in expressions for c in derived_checks(form, expr, rng)]

    failures = []
    with tempfile.TemporaryDirectory() as scratch:
        workdir = args.keep or scratch
        os.makedirs(workdir, exist_ok=True)
        for start in range(0, len(checks), args.batch):
            batch = checks[start:start + args.batch]
            found = compare(batch, run_batch(os.path.abspath(args.cppkv), batch, workdir))
            failures += found
            if found and args.keep:
                break       # keep the run that differs

    for check, want, got in failures[:args.show]:
        shown = check.text if len(check.text) < 300 else check.text[:140] + ' ... ' + check.text[-140:]
        print(f'#{check.form} {shown}\n    model {want}, program {got}')
    print(f'{len(checks) - len(failures)} passed, {len(failures)} failed')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
