#!/bin/sh
# Evaluation time of long #if expressions (see cppkv_expr.cpp).
# Usage: sh bench/cppkv_expr.sh BUILD_DIR
build=$(cd "${1:-build-bench}" && pwd)
if [ -x "$build/cppkv_expr" ]; then
  "$build/cppkv_expr" --benchmark_min_time=0.2
fi
