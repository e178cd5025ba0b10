#!/bin/sh
# Lines per second of the macro processor on a macro-heavy source: macro
# definitions with parameters and local labels, calls nested three deep,
# repeat blocks. Lines are counted as the line engine processes them:
# source lines plus every replayed body line.
# Usage: sh bench/zrmackv_macros.sh BUILD-FOLDER [CALLS]
build=${1:-build-bench}
calls=${2:-60000}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

processed=$(python3 "$here/zrmackv_macro_gen.py" "$work/macros.arq" "$calls")
start=$(date +%s%N)
"$build/zrmackv" "$work/macros.arq" > "$work/out.txt"
code=$?
end=$(date +%s%N)
ns=$((end - start))
[ "$ns" -gt 0 ] || ns=1
echo "zrmackv macros: $processed lines processed in $((ns / 1000000)) ms, exit $code"
echo "zrmackv macros: $((processed * 1000000000 / ns)) lines/s"
