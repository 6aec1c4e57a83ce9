#!/bin/sh
# Installs the libraries and their development files into a private prefix and builds a small
# program against them, once through find_package and once through pkg-config.
# usage: consumer_test.sh BUILD_DIR WORK_DIR CXX_COMPILER
set -eu
build=$1 work=$2 cxx=$3
source=$(dirname "$0")/consumer

rm -rf "$work"
for component in runtime development; do
    cmake --install "$build" --prefix "$work/prefix" --component "$component" >/dev/null
done
PKG_CONFIG_PATH=$(dirname "$(find "$work/prefix" -name quarn-shared.pc)")
# The private prefix is no system library folder: the loader is told where it is.
LD_LIBRARY_PATH=$(dirname "$PKG_CONFIG_PATH")
export PKG_CONFIG_PATH LD_LIBRARY_PATH

cmake -S "$source" -B "$work/cmake" -DCMAKE_PREFIX_PATH="$work/prefix" -DCMAKE_CXX_COMPILER="$cxx" >/dev/null
cmake --build "$work/cmake" >/dev/null
# shellcheck disable=SC2046
"$cxx" -std=c++17 -o "$work/pkg-config" "$source/consumer.cpp" $(pkg-config --cflags --libs quarn-shared)
for program in "$work/cmake/consumer" "$work/pkg-config"; do
    echo "$program: $("$program")"
    [ "$("$program")" = "1400000006000000 88" ]
done
