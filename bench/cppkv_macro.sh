#!/bin/sh
# Throughput of cppkv on a large generated C source that uses macros on
# most lines (object-like and function-like, nested calls, a list over two
# lines, # and ##), and on the reader's input of cppkv_reader.sh, each
# beside cat and the system's `cpp -M` in the same run. `cpp -M` expands
# no macros in text lines; cppkv expands them all.
# Usage: sh bench/cppkv_macro.sh BUILD_DIR [MEGABYTES]
set -e
build=$(cd "${1:-build-bench}" && pwd)
megabytes=${2:-40}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 "$here/cppkv_macro_gen.py" "$work/macros.c" "$megabytes"
python3 "$here/cppkv_gen.py" "$work/big.c" "$megabytes"
cd "$work"

# The macro input must run clean: no message, the empty dependency line.
if [ "$("$build/cppkv" macros.c 2>&1)" != "macros.c : " ]; then
  echo "cppkv did not run cleanly over macros.c" >&2
  exit 1
fi

. "$here/throughput.inc"
compare "macro-heavy generated C" macros.c "$build/cppkv"
echo
compare "generated C (the reader's input)" big.c "$build/cppkv"
