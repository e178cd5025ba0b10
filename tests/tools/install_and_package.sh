#!/bin/sh
# Installs a build folder with `cmake --install` into a scratch prefix and
# packs it with `cpack -G DEB`; the package is unpacked into a scratch root
# with `dpkg -x`. In both places the programs must run and the manual pages
# must render with `man -l`.
# Usage: sh install_and_package.sh BUILD_DIR   (exit 77: a tool is missing)
set -e
for tool in cmake cpack dpkg dpkg-deb man; do
  command -v "$tool" > /dev/null || { echo "$tool is not installed"; exit 77; }
done
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

# Runs the installed programs and renders their pages under root/prefix.
check_tree() {
  where=$1
  for f in bin/zrmackv bin/cppkv share/man/man1/zrmackv.1 share/man/man1/cppkv.1; do
    [ -f "$where/$f" ] || fail "$where/$f is missing"
  done
  "$where/bin/zrmackv" -v | grep -q 'Macro Processor (zrmackv)' || fail "zrmackv -v"
  "$where/bin/cppkv" -V 2>&1 | grep -q 'C Preprocessor' || fail "cppkv -V"
  "$where/bin/zrmackv" --help | grep -q '^Usage: zrmackv' || fail "zrmackv --help"
  "$where/bin/cppkv" --help | grep -q '^Usage: cppkv' || fail "cppkv --help"
  printf '\tNOP\n' > "$work/p.arq"
  (cd "$work" && "$where/bin/zrmackv" +depfile=p.d p > /dev/null) || fail "zrmackv run"
  [ "$(cat "$work/p.d")" = "p.o: p.arq" ] || fail "p.d: $(cat "$work/p.d")"
  for page in zrmackv cppkv; do
    MANWIDTH=80 man -l "$where/share/man/man1/$page.1" > "$work/$page.txt" 2> "$work/man.err" ||
      fail "man -l $page.1: $(cat "$work/man.err")"
    grep -q 'EXIT STATUS' "$work/$page.txt" || fail "$page page has no EXIT STATUS"
    grep -q 'EXAMPLES' "$work/$page.txt" || fail "$page page has no EXAMPLES"
  done
  grep -q '+depfile=NAME' "$work/zrmackv.txt" || fail "zrmackv page lacks +depfile"
  grep -q -- '-Wexpand_file' "$work/cppkv.txt" || fail "cppkv page lacks -Wexpand_file"
}

cmake --install "$build" --prefix "$work/prefix" > "$work/install.log" ||
  fail "cmake --install: $(cat "$work/install.log")"
check_tree "$work/prefix"

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/pkg" > "$work/cpack.log" 2>&1 ||
  fail "cpack: $(cat "$work/cpack.log")"
deb=$(ls "$work"/pkg/*.deb)
[ -f "$deb" ] || fail "no package in $(ls "$work/pkg")"
dpkg-deb -f "$deb" Package | grep -qx kvscanners || fail "package name"
dpkg -x "$deb" "$work/root"
check_tree "$work/root/usr"
echo "ok: $(basename "$deb")"
