#!/usr/bin/env python3
"""Runs one end-to-end case file against zrmackv or cppkv.

A case file is a list of sections. Lines before the first section are
comments. A section starts with a header line

    --- KIND [NAME] [FLAG ...]

and its content is every line up to the next header. Content flags:
    noeol   drop the content's final line feed
    esc     decode \\r \\n \\t \\\\ and \\xNN escapes in the content
    py      the content is a Python expression giving str, bytes or (for
            args) a list; handy for huge or binary inputs
    places  (expect) program places written as UNIT.cpp(LINE) match any
            line number: write them as UNIT.cpp(#)

Kinds:
    program          zrmackv or cppkv (default: the case's top folder name)
    args             the arguments, split like a shell line (or a py list)
    argv0            the program's own name as it sees it (default: its path)
    env              NAME=VALUE lines added to a minimal environment
    file NAME        an input file (folders are created as needed)
    dir NAME         an empty folder
    sh               shell commands run in the case folder before the program
                     (KV_PROGRAM names the program's binary)
    stdin            standard input (default: empty)
    stdout, stderr   the exact expected stream (unchecked when absent)
    exit             the expected exit code (default 0)
    expect NAME      a file that must exist afterwards with exactly this content
    present          names (one a line) that must exist afterwards
    absent           names (one a line) that must not exist afterwards
    check            shell commands run in the case folder after the program
                     (with ZRMACKV and CPPKV naming the two programs); the
                     case fails when they end with a non-zero status, and
                     is skipped when they end with 77 (a tool is missing)
    interrupt NAME   NAME becomes a pipe that the program reads as a file: the
                     content is written into it, then the program gets a
                     console interrupt (SIGINT), then one more line follows
                     and the pipe is closed
    sigint           the program gets a console interrupt (SIGINT) as soon as
                     it waits (a pipe without a writer), or after the
                     content's number of seconds (default 2) when it keeps
                     running; it must end within 30 seconds of it
"""
import argparse
import array
import fcntl
import termios
import difflib
import os
import re
import shlex
import signal
import time
import subprocess
import sys
import tempfile

HEADER = re.compile(rb'^--- (\S+)(.*)$')
PLACE = re.compile(rb'\b([A-Za-z_]+\.cpp)\(\d+\)')


def mask_places(data: bytes) -> bytes:
    return PLACE.sub(rb'\1(#)', data)


def decode_escapes(data: bytes) -> bytes:
    out = bytearray()
    i = 0
    while i < len(data):
        c = data[i]
        if c == 0x5C and i + 1 < len(data):
            n = data[i + 1]
            if n == ord('x') and i + 3 < len(data):
                out.append(int(data[i + 2:i + 4], 16))
                i += 4
                continue
            simple = {ord('r'): 13, ord('n'): 10, ord('t'): 9, 0x5C: 0x5C}
            if n in simple:
                out.append(simple[n])
                i += 2
                continue
        out.append(c)
        i += 1
    return bytes(out)


class Section:
    def __init__(self, kind, words):
        self.kind = kind
        self.name = None
        self.flags = set()
        for w in words:
            if w in ('noeol', 'esc', 'py', 'places'):
                self.flags.add(w)
            elif self.name is None:
                self.name = w
            else:
                raise SystemExit(f'unexpected word {w!r} in section header')
        self.raw = b''

    def value(self):
        data = self.raw
        if 'py' in self.flags:
            v = eval(data.decode('utf-8'), {})
            return v.encode('latin-1') if isinstance(v, str) else v
        if 'noeol' in self.flags and data.endswith(b'\n'):
            data = data[:-1]
        if 'esc' in self.flags:
            data = decode_escapes(data)
        return data

    def text(self):
        return self.value().decode('latin-1')


def parse_case(path):
    sections = []
    current = None
    with open(path, 'rb') as f:
        for line in f.read().splitlines(keepends=True):
            m = HEADER.match(line.rstrip(b'\n'))
            if m:
                current = Section(m.group(1).decode(), m.group(2).decode().split())
                sections.append(current)
            elif current is not None:
                current.raw += line
    return sections


def show_diff(label, expected: bytes, actual: bytes):
    exp = expected.decode('latin-1').splitlines(keepends=True)
    act = actual.decode('latin-1').splitlines(keepends=True)
    print(f'--- {label} differs:')
    # repr() shows carriage returns, tabs and binary bytes.
    for line in difflib.unified_diff(exp, act, 'expected', 'actual', lineterm=''):
        print(repr(line))


def wait_until_blocked(pid, feed):
    """Waits until the program has taken everything from the pipe and sleeps
    waiting for more, so the interrupt falls between two lines."""
    deadline = time.time() + 60
    while time.time() < deadline:
        pending = array.array('i', [0])
        fcntl.ioctl(feed.fileno(), termios.FIONREAD, pending)
        with open(f'/proc/{pid}/stat') as f:
            state = f.read().rsplit(')', 1)[1].split()[0]
        if pending[0] == 0 and state == 'S':
            time.sleep(0.05)
            return
        time.sleep(0.02)


def run_with_interrupt(binary, argv0, args, work, env, stdin, section):
    """Feeds a pipe line by line and interrupts the program between lines."""
    pipe = os.path.join(work, section.name)
    os.mkfifo(pipe)
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        child = subprocess.Popen([argv0] + args, executable=binary, cwd=work, env=env, stdin=subprocess.DEVNULL,
                                 stdout=out, stderr=err)
        # Opening blocks until the program opens the pipe, which it does only
        # after its interrupt handler is installed.
        with open(pipe, 'wb', buffering=0) as feed:
            feed.write(section.value())
            wait_until_blocked(child.pid, feed)
            child.send_signal(signal.SIGINT)
            time.sleep(0.3)
            try:
                feed.write(b'\tNOP\n')
            except BrokenPipeError:
                pass
        child.wait(timeout=120)
        out.seek(0)
        err.seek(0)
        return subprocess.CompletedProcess(child.args, child.returncode, out.read(), err.read())


def process_state(pid):
    try:
        with open(f'/proc/{pid}/stat') as f:
            return f.read().rsplit(')', 1)[1].split()[0]
    except OSError:
        return ''


def run_with_sigint(binary, argv0, args, work, env, stdin, section):
    """Interrupts the program while it waits or runs, and checks that the
    interrupt ends it promptly."""
    delay = float(section.text().strip() or '2')
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        child = subprocess.Popen([argv0] + args, executable=binary, cwd=work, env=env,
                                 stdin=subprocess.DEVNULL, stdout=out, stderr=err)
        # Let it start (its handler is installed first thing), then wait for
        # it to block or for the delay to pass.
        time.sleep(0.2)
        deadline = time.time() + delay
        while time.time() < deadline and process_state(child.pid) not in ('S', ''):
            time.sleep(0.02)
        child.send_signal(signal.SIGINT)
        try:
            child.wait(timeout=30)
        except subprocess.TimeoutExpired:
            child.kill()
            child.wait()
            raise SystemExit(f'FAIL {section.name or ""}: no end within 30 s of the interrupt')
        out.seek(0)
        err.seek(0)
        return subprocess.CompletedProcess(child.args, child.returncode, out.read(), err.read())


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--zrmackv', required=True)
    ap.add_argument('--cppkv', required=True)
    ap.add_argument('case')
    opts = ap.parse_args()

    sections = parse_case(opts.case)
    program = os.path.basename(os.path.dirname(os.path.abspath(opts.case)))
    for s in sections:
        if s.kind == 'program':
            program = s.text().strip()
    binary = os.path.abspath({'zrmackv': opts.zrmackv, 'cppkv': opts.cppkv}[program])

    argv0 = binary
    args, stdin, env = [], b'', {'PATH': os.environ.get('PATH', '/usr/bin:/bin'), 'LC_ALL': 'C'}
    if 'ASAN_OPTIONS' in os.environ:
        env['ASAN_OPTIONS'] = os.environ['ASAN_OPTIONS']
    failures = []
    with tempfile.TemporaryDirectory(prefix='kvcase.') as work:
        for s in sections:
            if s.kind == 'args':
                v = eval(s.raw.decode(), {}) if 'py' in s.flags else shlex.split(s.text())
                args = list(v)
            elif s.kind == 'argv0':
                argv0 = s.text().strip()
            elif s.kind == 'env':
                for line in s.text().splitlines():
                    if line.strip():
                        k, _, v = line.partition('=')
                        env[k] = v
            elif s.kind == 'file':
                p = os.path.join(work, s.name)
                os.makedirs(os.path.dirname(p), exist_ok=True)
                with open(p, 'wb') as f:
                    f.write(s.value())
            elif s.kind == 'dir':
                os.makedirs(os.path.join(work, s.name), exist_ok=True)
            elif s.kind == 'sh':
                # KV_PROGRAM lets a set-up start the program itself (a
                # second run at the same time).
                subprocess.run(['sh', '-e', '-c', s.text()], cwd=work, check=True,
                               env=dict(os.environ, KV_PROGRAM=binary))
            elif s.kind == 'stdin':
                stdin = s.value()

        interrupt = next((s for s in sections if s.kind == 'interrupt'), None)
        sigint = next((s for s in sections if s.kind == 'sigint'), None)
        if interrupt:
            proc = run_with_interrupt(binary, argv0, args, work, env, stdin, interrupt)
        elif sigint:
            proc = run_with_sigint(binary, argv0, args, work, env, stdin, sigint)
        else:
            proc = subprocess.run([argv0] + args, executable=binary, cwd=work, env=env, input=stdin,
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)

        for s in sections:
            if s.kind != 'check':
                continue
            check_env = dict(env, ZRMACKV=os.path.abspath(opts.zrmackv),
                             CPPKV=os.path.abspath(opts.cppkv))
            done = subprocess.run(['sh', '-e', '-c', s.text()], cwd=work, env=check_env,
                                  stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
            if done.returncode == 77:
                print(f'skip {opts.case}: {done.stdout.decode("latin-1").strip()}')
                sys.exit(77)
            if done.returncode != 0:
                failures.append((f'check (status {done.returncode})', b'', done.stdout))

        expected_exit = 0
        for s in sections:
            if s.kind == 'exit':
                expected_exit = int(s.text().strip())
            elif s.kind in ('stdout', 'stderr'):
                actual = proc.stdout if s.kind == 'stdout' else proc.stderr
                if actual != s.value():
                    failures.append((s.kind, s.value(), actual))
            elif s.kind == 'expect':
                p = os.path.join(work, s.name)
                if not os.path.exists(p):
                    failures.append((f'file {s.name} (missing)', s.value(), b''))
                else:
                    with open(p, 'rb') as f:
                        got = f.read()
                    if 'places' in s.flags:
                        got = mask_places(got)
                    if got != s.value():
                        failures.append((f'file {s.name}', s.value(), got))
            elif s.kind in ('present', 'absent'):
                for name in s.text().split():
                    exists = os.path.exists(os.path.join(work, name))
                    if exists != (s.kind == 'present'):
                        failures.append((f'{name} should be {s.kind}', b'', b''))
        if proc.returncode != expected_exit:
            failures.append((f'exit code {proc.returncode}, expected {expected_exit}', b'', b''))

    if failures:
        print(f'FAIL {opts.case}: {program} {shlex.join(args)}')
        for label, exp, act in failures:
            if exp or act:
                show_diff(label, exp, act)
            else:
                print('--- ' + label)
        if proc.stderr and all(f[0] != 'stderr' for f in failures):
            print('--- stderr was:\n' + proc.stderr.decode('latin-1')[:4000])
        sys.exit(1)
    print(f'ok {opts.case}')


if __name__ == '__main__':
    main()
