#!/usr/bin/env bash
# VORDEX as users install and build against it: `cmake --install` into a
# scratch prefix, the README's C example built with pkg-config alone, with
# find_package(vordex) and with add_subdirectory of the sources, and the
# Debian packages CPack makes, unpacked into a scratch root; every program
# run against the private cluster.
#   packaging_test.sh SOURCE_DIR BUILD_DIR
# Needs the environment of scripts/with_cluster.sh.
set -uo pipefail
(($# == 2)) || { echo "usage: packaging_test.sh SOURCE_DIR BUILD_DIR" >&2; exit 2; }
source_dir=$(realpath -- "$1") build_dir=$(realpath -- "$2")
: "${VORDEX_TEST_PG_DRIVER:?run through scripts/with_cluster.sh or scripts/test.sh}"
passed=0 failed=0
pass() { passed=$((passed + 1)); echo "ok: $*"; }
fail() { failed=$((failed + 1)); echo "FAILED: $*"; }
check() { local what=$1; shift; if "$@" >"$work/log" 2>&1; then pass "$what"; else fail "$what"; cat "$work/log"; fi; }
work=$(mktemp -d /tmp/vordex-packaging.XXXXXX)
trap 'rm -rf -- "$work"' EXIT

db=vordex_packaging
psql -X -q -d "$PGDATABASE" -c "DROP DATABASE IF EXISTS $db WITH (FORCE)" -c "CREATE DATABASE $db" >/dev/null
psql -X -q -d "$db" -c "CREATE TABLE fruit (id serial PRIMARY KEY, name text); INSERT INTO fruit (name) VALUES ('apple');" >/dev/null
export VORDEX_CONNECT=${VORDEX_TEST_PG_DRIVER/Database=vordex_test/Database=$db} VORDEX_DIALOG=stderr
# The example prints the table's rows; its last line is the apple.
reads_fruit() { [[ $("$@" fruit | tail -n 1) == $'1\tapple' ]]; }

# ---- cmake --install -------------------------------------------------------
prefix=$work/prefix
check "cmake --install" cmake --install "$build_dir" --prefix "$prefix"
libdir=$(dirname "$(find "$prefix" -name vordex.pc)")/..
for file in "$libdir/libvordex.so.2.0."* "$libdir/libvordex.so.2" "$libdir/libvordex.so" "$prefix/include/vordex.h" \
    "$prefix/bin/vordex" "$prefix/share/man/man1/vordex.1" "$prefix/share/man/man3/vordex.3" \
    "$libdir/cmake/vordex/vordexConfig.cmake"; do
  [[ -e $file ]] && pass "installed $(basename "$file")" || fail "not installed: $file"
done
[[ $(readlink "$libdir/libvordex.so.2") == libvordex.so.2.0.* && $(readlink "$libdir/libvordex.so") == libvordex.so.2 ]] &&
  pass "SONAME links" || fail "SONAME links: $(ls -l "$libdir"/libvordex.so*)"
check "the installed vordex finds its library" "$prefix/bin/vordex" --library libvordex.so.2 --version

# ---- pkg-config alone ------------------------------------------------------
export PKG_CONFIG_PATH=$libdir/pkgconfig
# shellcheck disable=SC2046 # the flags split on purpose
check "example built with pkg-config" cc -o "$work/by_pkgconfig" "$source_dir/examples/read_table.c" \
  $(pkg-config --cflags --libs vordex)
check "example built with pkg-config reads the table" \
  env LD_LIBRARY_PATH="$(pkg-config --variable=libdir vordex)" bash -c "$(declare -f reads_fruit); reads_fruit $work/by_pkgconfig"

# ---- find_package and add_subdirectory ---------------------------------------
for how in find_package add_subdirectory; do
  consumer=$work/$how
  mkdir -p "$consumer"
  cp "$source_dir/examples/read_table.c" "$consumer/"
  if [[ $how == find_package ]]; then
    use="find_package(vordex 2 REQUIRED)"
  else
    use="add_subdirectory($source_dir vordex)"
  fi
  cat >"$consumer/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.21)
project(consumer C CXX)
$use
add_executable(read_table read_table.c)
target_link_libraries(read_table PRIVATE vordex::vordex)
CMAKE
  check "$how: configure" cmake -S "$consumer" -B "$consumer/build" -DCMAKE_PREFIX_PATH="$prefix"
  check "$how: build" cmake --build "$consumer/build" --target read_table
  check "$how: the example reads the table" reads_fruit "$consumer/build/read_table"
done
if cmake --build "$work/add_subdirectory/build" --target help | grep -q "vordex_unit_tests"; then
  fail "add_subdirectory builds the tests without being asked"
else
  pass "add_subdirectory builds no tests"
fi

# ---- Debian packages -----------------------------------------------------------
check "cpack" cpack -G DEB --config "$build_dir/CPackConfig.cmake" -B "$work/debs"
for package in libvordex2 libvordex-dev vordex; do
  deb=$(ls "$work/debs/${package}_"*.deb 2>/dev/null | head -n 1)
  [[ -n $deb ]] && pass "package $package" || { fail "no package $package"; continue; }
  dpkg -x "$deb" "$work/root"
done
depends=$(dpkg-deb -f "$work/debs/libvordex2_"*.deb Depends)
[[ $depends == *libodbc2* ]] && pass "libvordex2 depends on unixODBC" || fail "libvordex2 depends on: $depends"
[[ $(dpkg-deb -f "$work/debs/libvordex-dev_"*.deb Depends) == *unixodbc-dev* ]] && pass "libvordex-dev depends on unixodbc-dev" ||
  fail "libvordex-dev dependencies"
[[ $(dpkg-deb -f "$work/debs/vordex_"*.deb Depends) == *libvordex2* ]] && pass "vordex depends on libvordex2" ||
  fail "vordex dependencies"
root_pc=$(find "$work/root" -name vordex.pc)
# shellcheck disable=SC2046 # the flags split on purpose
check "example built against the packages" cc -o "$work/by_packages" "$source_dir/examples/read_table.c" \
  $(PKG_CONFIG_PATH=$(dirname "$root_pc") pkg-config --cflags --libs vordex)
check "example built against the packages reads the table" \
  env LD_LIBRARY_PATH="$(PKG_CONFIG_PATH=$(dirname "$root_pc") pkg-config --variable=libdir vordex)" \
  bash -c "$(declare -f reads_fruit); reads_fruit $work/by_packages"
check "the packaged vordex finds the packaged library" "$work/root/usr/bin/vordex" --library libvordex.so.2 --version

echo "packaging: $passed passed, $failed failed"
((failed == 0))
