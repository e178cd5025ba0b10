#!/bin/sh
# Throughput of cppkv on a large generated C source (comments, literals,
# splices, conditional groups, a guarded header included now and then and a
# chain of 40 nested includes), beside cat and the system's `cpp -M` on the
# same input in the same run; then the in-process reader benchmarks when
# they were built. Usage: sh bench/cppkv_reader.sh BUILD_DIR [MEGABYTES]
set -e
build=$(cd "${1:-build-bench}" && pwd)
megabytes=${2:-40}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 "$here/cppkv_gen.py" "$work/big.c" "$megabytes"
cd "$work"

# The run must see all 40 levels of the chain.
deps=$("$build/cppkv" big.c | grep -c 'chain' || true)
if [ "$deps" -ne 40 ]; then
  echo "cppkv listed $deps of the 40 chained headers" >&2
  exit 1
fi

. "$here/throughput.inc"
compare "generated C" big.c "$build/cppkv"

if [ -x "$build/cppkv_reader" ]; then
  "$build/cppkv_reader" --benchmark_min_time=0.5
fi
