#!/bin/bash
# The installed tree as its users meet it: installed under a private prefix,
# a small program is built against it twice, once through find_package and
# once through pkg-config, and constructs an Asic on an example snapshot.
#   consumer_test.sh BUILD_DIR SOURCE_DIR [EXTRA_CXX_FLAGS]
# EXTRA_CXX_FLAGS: what the library was built with that its users must
# repeat (the sanitizers of the test build).
set -euo pipefail
build=$1 source=$2 flags=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

mkdir "$work/app"
cp "$source/tests/install/consumer.cpp" "$work/app/main.cpp"
cat >"$work/app/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.22)
project(consumer CXX)
find_package(grpaudit 0.1 CONFIG REQUIRED)
add_executable(consumer main.cpp)
target_link_libraries(consumer PRIVATE grpaudit::grpaudit_bcm)
CMAKE
example=$source/examples/leaf-riot.json
expected="$("$prefix/bin/grpaudit" dump --snapshot "$example" | grep -c '^[a-z]*, (' ) routes"

cmake -S "$work/app" -B "$work/app/build" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" >/dev/null
cmake --build "$work/app/build" >/dev/null
got=$("$work/app/build/consumer" "$example")
[ "$got" = "$expected" ] || { echo "find_package: '$got', expected '$expected'"; exit 1; }
echo "find_package(grpaudit): $got"

pc_dir=$(dirname "$(find "$prefix" -name grpaudit.pc)")
# shellcheck disable=SC2046
c++ $flags -o "$work/app/pc-consumer" "$work/app/main.cpp" \
  $(PKG_CONFIG_PATH=$pc_dir pkg-config --cflags --libs grpaudit)
got=$("$work/app/pc-consumer" "$example")
[ "$got" = "$expected" ] || { echo "pkg-config: '$got', expected '$expected'"; exit 1; }
echo "pkg-config grpaudit: $got"
