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
bytes=$(wc -c < "$work/big.c")
cd "$work"

# The run must see all 40 levels of the chain.
deps=$("$build/cppkv" big.c | grep -c 'chain' || true)
if [ "$deps" -ne 40 ]; then
  echo "cppkv listed $deps of the 40 chained headers" >&2
  exit 1
fi

# Best of three wall-clock runs, in nanoseconds.
best() {
  best_ns=""
  for _ in 1 2 3; do
    t0=$(date +%s%N)
    "$@" > /dev/null 2>&1 || true
    t1=$(date +%s%N)
    ns=$((t1 - t0))
    if [ -z "$best_ns" ] || [ "$ns" -lt "$best_ns" ]; then best_ns=$ns; fi
  done
  echo "$best_ns"
}

cat big.c > /dev/null  # warm the page cache
cat_ns=$(best cat big.c)
cppkv_ns=$(best "$build/cppkv" big.c)
if command -v cpp > /dev/null 2>&1; then
  cpp_ns=$(best cpp -M big.c)
else
  cpp_ns=0
fi

python3 - "$bytes" "$cat_ns" "$cppkv_ns" "$cpp_ns" <<'PY'
import sys
size, cat_ns, cppkv_ns, cpp_ns = (int(a) for a in sys.argv[1:])
mb = size / 1e6
def line(name, ns):
    if ns <= 0:
        print(f"{name:8s} (not available)")
        return
    s = ns / 1e9
    print(f"{name:8s} {s:8.3f} s  {mb / s:9.1f} MB/s")
print(f"input    {mb:.1f} MB of generated C")
line("cat", cat_ns)
line("cppkv", cppkv_ns)
line("cpp -M", cpp_ns)
PY

if [ -x "$build/cppkv_reader" ]; then
  "$build/cppkv_reader" --benchmark_min_time=0.5
fi
