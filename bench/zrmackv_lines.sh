#!/bin/sh
# Lines per second of the macro processor's line engine on a large generated
# source: labels, instructions, data and section directives, comments, empty
# lines and continuation lines, without macros or include files.
# Usage: sh bench/zrmackv_lines.sh BUILD-FOLDER [LINES]
build=${1:-build-bench}
lines=${2:-1000000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

awk -v n="$lines" 'BEGIN {
  i = 0
  while (i < n) {
    k = i % 16
    if (k == 0)       print "\t.SECTION\tprogram,CODE";
    else if (k == 1)  print "LOOP" i ":\tMOV.W\t#" i % 1000 ",R0\t; loop head";
    else if (k == 2)  print "\tADD.W\tR1,R0";
    else if (k == 3)  print "";
    else if (k == 4)  print "; a comment line that the scanner only splits off";
    else if (k == 5)  print "\tCMP.W\t#10,R0";
    else if (k == 6)  print "\tJNE\tLOOP" i - 5;
    else if (k == 7)  print "TABLE" i ":\t.BYTE\t1,2,3,4,5,6,7,8";
    else if (k == 8)  print "\tSHL.W\tR1H,R0";
    else if (k == 9)  print "\tSHL.W\t#2,R0";
    else if (k == 10) print "\tMOV.B\t[A0],R0L\t; byte load";
    else if (k == 11) { print "\tADD.W\t#1,\\\\\t; continued"; print "\t\tR2"; i++ }
    else if (k == 12) print "\t.WORD\t0FFFFH";
    else if (k == 13) print "X" i "\tNOP";
    else if (k == 14) print "\tPUSHM\tR0,R1,R2,R3,A0,A1";
    else              print "\tRTS";
    i++
  }
}' > "$work/big.arq"

count=$(wc -l < "$work/big.arq")
bytes=$(wc -c < "$work/big.arq")
start=$(date +%s%N)
"$build/zrmackv" -patch1 "$work/big.arq" > "$work/out.txt"
code=$?
end=$(date +%s%N)
ns=$((end - start))
[ "$ns" -gt 0 ] || ns=1
echo "zrmackv line engine: $count lines ($bytes bytes) in $((ns / 1000000)) ms, exit $code"
echo "zrmackv line engine: $((count * 1000000000 / ns)) lines/s"
