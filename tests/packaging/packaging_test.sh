#!/usr/bin/env bash
# VORDEX as users install and build against it, and the scripts that set a
# machine up:
# - `cmake --install` into a scratch prefix; the README's C example built
#   with pkg-config alone, with find_package(vordex) and with
#   add_subdirectory of the sources;
# - the Debian packages CPack makes: lintian, then installed into this
#   machine with apt, the example built against them with pkg-config alone,
#   then purged;
# - one version everywhere; install_deps.sh, run_ctest.sh and fresh_root.sh
#   on their failure paths.
# Every program runs against the private cluster.
#   packaging_test.sh SOURCE_DIR BUILD_DIR
# Needs the environment of scripts/with_cluster.sh, and root (apt).
set -uo pipefail
(($# == 2)) || { echo "usage: packaging_test.sh SOURCE_DIR BUILD_DIR" >&2; exit 2; }
source_dir=$(realpath -- "$1") build_dir=$(realpath -- "$2")
: "${VORDEX_TEST_PG_DRIVER:?run through scripts/with_cluster.sh or scripts/test.sh}"
passed=0 failed=0
pass() { passed=$((passed + 1)); echo "ok: $*"; }
fail() { failed=$((failed + 1)); echo "FAILED: $*"; }
check() { local what=$1; shift; if "$@" >"$work/log" 2>&1; then pass "$what"; else fail "$what"; cat "$work/log"; fi; }
same() { [[ $2 == "$3" ]] && pass "$1" || fail "$1: '$2', expected '$3'"; }
work=$(mktemp -d /tmp/vordex-packaging.XXXXXX)
packages=(libvordex2 libvordex-dev vordex)
installed_here=0
cleanup() {
  ((installed_here)) && apt-get purge -y -q "${packages[@]}" >/dev/null 2>&1
  rm -rf -- "$work"
}
trap cleanup EXIT

db=vordex_packaging
psql -X -q -d "$PGDATABASE" -c "DROP DATABASE IF EXISTS $db WITH (FORCE)" -c "CREATE DATABASE $db" >/dev/null
psql -X -q -d "$db" -c "CREATE TABLE fruit (id serial PRIMARY KEY, name text); INSERT INTO fruit (name) VALUES ('apple');" >/dev/null
export VORDEX_CONNECT=${VORDEX_TEST_PG_DRIVER/Database=vordex_test/Database=$db} VORDEX_DIALOG=stderr
# The example prints the table's rows; its last line is the apple.
reads_fruit() { [[ $("$@" fruit | tail -n 1) == $'1\tapple' ]]; }

# ---- one version -------------------------------------------------------------
version=$(sed -n 's/^project(vordex VERSION \([0-9.]*\) .*/\1/p' "$source_dir/CMakeLists.txt")
IFS=. read -r major minor patch <<<"$version"
number=$(printf '0x%X' $((major << 16 | minor << 8 | patch)))
same "vordex --version" "$("$build_dir/tools/vordex/vordex" --version)" \
  "vordex $version"$'\n'"library version $number (VORDEX_GetVersion)"
grep -q "^## $version - " "$source_dir/CHANGELOG.md" && pass "CHANGELOG.md records $version" ||
  fail "CHANGELOG.md does not record $version"
grep -q "VORDEX_GetVersion(void)\` | always \`$number\`" "$source_dir/README.md" &&
  grep -q "version constant, $number\." "$source_dir/include/vordex.h" &&
  grep -q "returns $number\." "$build_dir/doc/vordex.3" && pass "README, vordex.h and vordex(3) say $number" ||
  fail "README, vordex.h or vordex(3) document another value than $number"

# ---- cmake --install -------------------------------------------------------
prefix=$work/prefix
check "cmake --install" cmake --install "$build_dir" --prefix "$prefix"
libdir=$prefix/lib/$(gcc -print-multiarch)
for file in "$libdir/libvordex.so.$version" "$libdir/libvordex.so.2" "$libdir/libvordex.so" "$prefix/include/vordex.h" \
    "$prefix/bin/vordex" "$prefix/share/man/man1/vordex.1.gz" "$prefix/share/man/man3/vordex.3.gz" \
    "$libdir/cmake/vordex/vordexConfig.cmake" "$libdir/pkgconfig/vordex.pc"; do
  [[ -e $file ]] && pass "installed ${file#"$prefix"/}" || fail "not installed: $file"
done
[[ $(readlink "$libdir/libvordex.so.2") == "libvordex.so.$version" && $(readlink "$libdir/libvordex.so") == libvordex.so.2 ]] &&
  pass "SONAME links" || fail "SONAME links: $(ls -l "$libdir"/libvordex.so*)"
[[ ! -e $prefix/share/doc ]] && pass "the packages' own files stay out of a prefix" || fail "installed $prefix/share/doc"
# The installed program loads the installed library, never the build tree's,
# and has no run path.
LD_DEBUG=files "$prefix/bin/vordex" --version >"$work/log" 2>&1
grep -Eq "file=$prefix/(bin/\.\./)?lib/$(gcc -print-multiarch)/libvordex\.so\.2 .*dynamically loaded" "$work/log" &&
  pass "the installed vordex loads the installed library" || { fail "the installed vordex loads:"; grep 'file=' "$work/log"; }
[[ $(readelf -d "$prefix/bin/vordex") =~ RPATH|RUNPATH ]] && fail "the installed vordex has a run path" ||
  pass "the installed vordex has no run path"

# ---- pkg-config alone ------------------------------------------------------
export PKG_CONFIG_PATH=$libdir/pkgconfig
same "pkg-config prints the prefix's paths" "$(echo $(pkg-config --cflags --libs vordex))" "-I$prefix/include -L$libdir -lvordex"
# shellcheck disable=SC2046 # the flags split on purpose
check "example built with pkg-config" cc -o "$work/by_pkgconfig" "$source_dir/examples/read_table.c" \
  $(pkg-config --cflags --libs vordex)
check "example built with pkg-config reads the table" \
  env LD_LIBRARY_PATH="$(pkg-config --variable=libdir vordex)" bash -c "$(declare -f reads_fruit); reads_fruit $work/by_pkgconfig"
unset PKG_CONFIG_PATH

# ---- find_package and add_subdirectory ---------------------------------------
for how in find_package add_subdirectory; do
  consumer=$work/$how
  mkdir -p "$consumer"
  cp "$source_dir/examples/read_table.c" "$consumer/"
  if [[ $how == find_package ]]; then
    use="find_package(vordex 2 REQUIRED)
if(NOT vordex_LICENSE STREQUAL \"MIT\")
  message(FATAL_ERROR \"vordex_LICENSE: \${vordex_LICENSE}\")
endif()"
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
if [[ $(cmake --build "$work/add_subdirectory/build" --target help) == *vordex_unit_tests* ]]; then
  fail "add_subdirectory builds the tests without being asked"
else
  pass "add_subdirectory builds no tests"
fi

# ---- Debian packages -----------------------------------------------------------
check "cpack" cpack -G DEB --config "$build_dir/CPackConfig.cmake" -B "$work/debs"
debs=()
for package in "${packages[@]}"; do
  deb=$work/debs/${package}_${version}_$(dpkg --print-architecture).deb
  [[ -f $deb ]] && pass "package $package $version" || fail "no package $deb"
  debs+=("$deb")
done
# lintian: no error, no warning (the README names what lintian reports as
# information only). It leaves some of its temporary files: in $work.
TMPDIR=$work lintian --tag-display-limit 0 "${debs[@]}" >"$work/lintian" 2>&1
grep -Eq '^[EW]: ' "$work/lintian" && { fail "lintian:"; grep -E '^[EW]: ' "$work/lintian"; } ||
  pass "lintian reports no error and no warning"
same "libvordex-dev depends on the library alone" "$(dpkg-deb -f "${debs[1]}" Depends)" "libvordex2 (= $version)"
same "libvordex2's shlibs" "$(dpkg-deb --ctrl-tarfile "${debs[0]}" | tar -xO ./shlibs)" "libvordex 2 libvordex2 (>= $version)"

if dpkg-query -W "${packages[@]}" >/dev/null 2>&1; then
  fail "VORDEX packages are installed on this machine already; not touching them"
elif check "apt installs the packages" apt-get install -y -q --no-install-recommends "${debs[@]}"; then
  installed_here=1
  # The ldconfig trigger ran: the dynamic linker's cache has the library.
  # (Read whole: `ldconfig -p | grep -q` fails under pipefail when grep
  # stops reading first.)
  ldconfig -p >"$work/cache"
  grep -Eq "libvordex\.so\.2 .*=> (/usr)?/lib/$(gcc -print-multiarch)/libvordex\.so\.2$" "$work/cache" &&
    pass "ldconfig knows the library" || fail "ldconfig -p does not list libvordex.so.2"
  same "pkg-config prints plain installed paths" "$(echo $(pkg-config --cflags --libs vordex))" "-lvordex"
  # shellcheck disable=SC2046 # the flags split on purpose
  check "example built against the packages with pkg-config alone" cc -o "$work/by_packages" \
    "$source_dir/examples/read_table.c" $(pkg-config --cflags --libs vordex)
  check "example built against the packages reads the table" reads_fruit "$work/by_packages"
  same "the packaged vordex" "$(/usr/bin/vordex --version | head -n 1)" "vordex $version"
  check "the packaged vordex reads the table" bash -c '/usr/bin/vordex rows fruit | grep -qxP "1\\tapple"'
  check "the packages' copyright files" grep -qx "License: Expat" /usr/share/doc/libvordex2/copyright \
    /usr/share/doc/libvordex-dev/copyright /usr/share/doc/vordex/copyright
  check "apt purges the packages" apt-get purge -y -q "${packages[@]}"
  installed_here=0
  ldconfig -p >"$work/cache"
  ! grep -q libvordex.so.2 "$work/cache" && [[ ! -e /usr/include/vordex.h && ! -e /usr/bin/vordex ]] &&
    pass "purged without a trace" || fail "left behind after the purge"
fi

# ---- the scripts' failure paths --------------------------------------------------
# says WHAT EXIT TEXT COMMAND...: the command exits 0 (EXIT 0) or not (EXIT 1)
# and says TEXT.
says() {
  local what=$1 want=$2 text=$3 status
  shift 3
  "$@" >"$work/log" 2>&1
  status=$?
  if (((status != 0) == want)) && grep -qF -- "$text" "$work/log"; then pass "$what"; else
    fail "$what (exit $status):"
    cat "$work/log"
  fi
}
deps=$source_dir/scripts/install_deps.sh
# As nobody the script is fed on standard input: the checkout may lie in
# root's home.
says "install_deps.sh --dry-run names a missing package" 1 "missing packages: vordex-no-such-package" \
  bash "$deps" --dry-run vordex-no-such-package
says "install_deps.sh --dry-run as nobody" 1 "missing packages: vordex-no-such-package" \
  runuser -u nobody -- bash -s -- --dry-run vordex-no-such-package <"$deps"
says "install_deps.sh without root names what is missing" 1 "missing packages: vordex-no-such-package (run as root" \
  runuser -u nobody -- bash -s -- vordex-no-such-package <"$deps"
says "install_deps.sh stops at a package apt cannot install, with apt's reason" 1 \
  "apt-get said: E: Unable to locate package vordex-no-such-package" bash "$deps" vordex-no-such-package

# run_ctest.sh on a project with a test that skips itself (exit 77).
mkdir -p "$work/skips"
printf '%s\n' 'cmake_minimum_required(VERSION 3.21)' 'project(skips NONE)' 'enable_testing()' \
  'add_test(NAME SkipsItself COMMAND sh -c "exit 77")' \
  'set_tests_properties(SkipsItself PROPERTIES SKIP_RETURN_CODE 77)' >"$work/skips/CMakeLists.txt"
cmake -S "$work/skips" -B "$work/skips/build" >/dev/null
says "outside CI a skip passes and is named" 0 "did not run (CI would fail on this): SkipsItself (Skipped)" \
  env -u CI bash "$source_dir/scripts/run_ctest.sh" "$work/skips/build"
says "with CI set a skip fails the run, named" 1 "a test that did not run is a failure: SkipsItself (Skipped)" \
  env CI=true bash "$source_dir/scripts/run_ctest.sh" "$work/skips/build"

# fresh_root.sh without network: the root cannot be made; it says so and
# leaves nothing behind.
says "fresh_root.sh without network" 1 "cannot make a fresh root: mmdebstrap failed" \
  unshare --net bash "$source_dir/scripts/fresh_root.sh" true
[[ -z $(find "${TMPDIR:-/tmp}" -maxdepth 1 -name 'vordex-root.*' -newer "$work/skips/CMakeLists.txt") ]] &&
  pass "fresh_root.sh leaves no root behind" || fail "fresh_root.sh left a root behind"

echo "packaging: $passed passed, $failed failed"
((failed == 0))
