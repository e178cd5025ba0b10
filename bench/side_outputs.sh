#!/bin/sh
# What the opt-in side outputs cost: each program on a generated input with
# and without its expanded-text file and its dependency file, counted in
# instructions by callgrind (steady on a loaded machine; wall-clock best of
# three when valgrind is missing), with the number of write calls.
# The macro workloads show the cost where the text grows most: every call
# is replaced by its expansion.
# Usage: sh bench/side_outputs.sh BUILD_DIR [MEGABYTES] [LINES] [CALLS]
set -e
build=$(cd "${1:-build-bench}" && pwd)
megabytes=${2:-4}
lines=${3:-200000}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
python3 "$here/cppkv_gen.py" big.c "$megabytes"
python3 "$here/cppkv_macro_gen.py" macros.c "$megabytes"
python3 "$here/zrmackv_macro_gen.py" macros.arq "${4:-20000}" > /dev/null
awk -v n="$lines" 'BEGIN {
  for (i = 0; i < n; i++) {
    k = i % 4
    if (k == 0) print "L" i ":\tMOV.W\t#" i % 1000 ",R0\t; loop head";
    else if (k == 1) print "\tADD.W\tR1,R0";
    else if (k == 2) print "\t.WORD\t0FFFFH";
    else print "\tNOP";
  }
}' > big.arq

cost() {
  if command -v valgrind > /dev/null 2>&1; then
    valgrind --tool=callgrind --callgrind-out-file=cg.out "$@" 2>&1 > /dev/null |
      sed -n 's/.*Collected : \([0-9]*\).*/\1 instructions/p'
  else
    best=""
    for _ in 1 2 3; do
      t0=$(date +%s%N); "$@" > /dev/null 2>&1 || true; t1=$(date +%s%N)
      ns=$((t1 - t0)); if [ -z "$best" ] || [ "$ns" -lt "$best" ]; then best=$ns; fi
    done
    echo "$((best / 1000)) us"
  fi
}
writes() {
  if command -v strace > /dev/null 2>&1; then
    strace -f -c -e trace=write "$@" 2>&1 > /dev/null | awk '$NF == "write" { print $4 " writes" }'
  fi
}
show() {
  label=$1; shift
  printf '%-34s %s  %s\n' "$label" "$(cost "$@")" "$(writes "$@")"
}

show "cppkv" "$build/cppkv" big.c
show "cppkv -Wexpand_file" "$build/cppkv" -Wexpand_file big.i big.c
show "cppkv -MF" "$build/cppkv" -MF big.d big.c
echo "  text file: $(wc -c < big.i) bytes"
show "zrmackv" "$build/zrmackv" big.arq
show "zrmackv +depfile" "$build/zrmackv" +depfile=big.d big.arq
show "zrmackv +expand" "$build/zrmackv" +expand big.arq
echo "  expanded source: $(wc -c < big.mrq) bytes"
show "cppkv, macros" "$build/cppkv" macros.c
show "cppkv -Wexpand_file, macros" "$build/cppkv" -Wexpand_file macros.i macros.c
echo "  text file: $(wc -c < macros.i) bytes"
show "zrmackv, macros" "$build/zrmackv" macros.arq
show "zrmackv +expand, macros" "$build/zrmackv" +expand macros.arq
echo "  expanded source: $(wc -c < macros.mrq) bytes"
