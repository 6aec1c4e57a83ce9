#!/bin/sh
# Installs the libraries and their development files into a private prefix and builds a small
# program against them, once through find_package and once through pkg-config.
# usage: consumer_test.sh BUILD_DIR WORK_DIR CXX_COMPILER
set -eu
build=$1 work=$2 cxx=$3
source=$(dirname "$0")/consumer
expected="1400000006000000 88"

rm -rf "$work"
prefix=$work/prefix
for component in runtime development; do
    cmake --install "$build" --prefix "$prefix" --component "$component" >/dev/null
done
pcdir=$(dirname "$(find "$prefix" -name quarn-shared.pc)")
libdir=$(dirname "$pcdir")
for library in foundation ipc records session model hal system storage; do
    soname=$(readelf -d "$libdir/libquarn-$library.so" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
    [ "$soname" = "libquarn-$library.so.1" ] || { echo "libquarn-$library.so: SONAME '$soname'"; exit 1; }
done

cmake -S "$source" -B "$work/cmake" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_CXX_COMPILER="$cxx" >/dev/null
cmake --build "$work/cmake" >/dev/null
# The private prefix is no system library folder: the loader is told where it is.
LD_LIBRARY_PATH=$libdir
export LD_LIBRARY_PATH
found=$("$work/cmake/consumer")
echo "find_package: $found"

PKG_CONFIG_PATH=$pcdir
export PKG_CONFIG_PATH
# shellcheck disable=SC2046
"$cxx" -std=c++17 -o "$work/pc-consumer" "$source/consumer.cpp" $(pkg-config --cflags --libs quarn-shared)
viaPkgConfig=$("$work/pc-consumer")
echo "pkg-config: $viaPkgConfig"

[ "$found" = "$expected" ] && [ "$viaPkgConfig" = "$expected" ]
