#!/bin/sh
# Reader throughput of cppkv on a large generated C source, beside cat on the
# same file. Usage: sh bench/cppkv_reader.sh BUILD_DIR [MEGABYTES]
set -e
build=$(cd "${1:-build-bench}" && pwd)
megabytes=${2:-40}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 "$here/cppkv_gen.py" "$work/big.c" "$megabytes"
bytes=$(wc -c < "$work/big.c")

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

cat "$work/big.c" > /dev/null  # warm the page cache
cat_ns=$(best cat "$work/big.c")
cppkv_ns=$(best "$build/cppkv" "$work/big.c")

python3 - "$bytes" "$cat_ns" "$cppkv_ns" <<'PY'
import sys
size, cat_ns, cppkv_ns = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3])
mb = size / 1e6
def line(name, ns):
    s = ns / 1e9
    print(f"{name:8s} {s:8.3f} s  {mb / s:9.1f} MB/s")
print(f"input    {mb:.1f} MB of generated C")
line("cat", cat_ns)
line("cppkv", cppkv_ns)
PY
