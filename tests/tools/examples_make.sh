#!/bin/sh
# Builds examples/ with its makefile and the programs of a build folder,
# then checks that make rebuilds from the dependency files the programs
# wrote: nothing when nothing changed, exactly the object that uses a touched
# include file, and no failure when an included file is deleted.
# Usage: sh examples_make.sh BUILD_DIR EXAMPLES_DIR   (exit 77: make missing)
set -e
command -v make > /dev/null || { echo "make is not installed"; exit 77; }
bin=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$2/." "$work/"
cd "$work"
rm -rf out

fail() { echo "FAIL: $*"; exit 1; }
rebuilt() { make -s -n BIN="$bin" | grep -E '^cp ' | sed 's/.* //' | sort | tr '\n' ' '; }

make -s BIN="$bin" > build.txt || fail "first build: $(cat build.txt)"
grep -q 'asm/inc/delay.inc' out/blink.d || fail "blink.d: $(cat out/blink.d)"
grep -q 'c/uart.h' out/main.d || fail "main.d: $(cat out/main.d)"
test -z "$(rebuilt)" || fail "rebuilt without a change: $(rebuilt)"

sleep 1
touch asm/inc/delay.inc
test "$(rebuilt)" = "out/blink.o " || fail "after touching delay.inc: $(rebuilt)"
make -s BIN="$bin" > /dev/null

sleep 1
touch c/include/board.h
test "$(rebuilt)" = "out/main.o " || fail "after touching board.h: $(rebuilt)"
make -s BIN="$bin" > /dev/null

# A header dropped from the sources: the stale rule names it, the empty
# rule for it keeps make going, and the rebuild writes a rule without it.
rm c/uart.h
sed -i 's/^#include "uart.h"$//' c/main.c
make -s BIN="$bin" > build.txt 2>&1 || fail "after deleting uart.h: $(cat build.txt)"
grep -q 'uart.h' out/main.d && fail "main.d still names uart.h"
test -z "$(rebuilt)" || fail "not up to date at the end: $(rebuilt)"
echo "ok"
