#!/usr/bin/env bash
# Installs the build into a temporary prefix and builds outside programs
# against that prefix only, in C and in C++, through pkg-config and through
# find_package (the C programs also from a project that enables C alone):
# a table written and read back through the c_ entry points, conversions of
# the DB client beside a program's own routines of the same names as the
# client's insides, the access layer's calls and twins, rows fetched from
# the stand-in server, and a program that links one entry point of every
# installed library.  Checks what the archives export, that they link whole
# into one shared library, and that the installed tool has its own data
# root and the nominal waits.
#
#   install_test.sh BUILD_DIR SOURCE_DIR LIBDIR CMAKE GENERATOR CC CXX STANDIN_SERVER
#                   MAKE_DEMO ORVO_ROOT
#
# LIBDIR is the build's CMAKE_INSTALL_LIBDIR, ORVO_ROOT the installed tool's
# data root it was configured with.  What is installed is the build under
# test (the sanitized one in scripts/test.sh), not a second plain build: its
# package names the link flags its libraries need (the sanitizer runtimes),
# so the programs here link exactly as any caller of that build must, with
# no flags of their own, and nothing is compiled twice.
set -euo pipefail
[ $# -eq 10 ] || {
  echo "usage: $0 BUILD_DIR SOURCE_DIR LIBDIR CMAKE GENERATOR CC CXX STANDIN_SERVER MAKE_DEMO ORVO_ROOT" >&2
  exit 2
}
build=$1 src=$2 libdir=$3 cmake=$4 generator=$5 cc=$6 cxx=$7 standin=$8 make_demo=$9
orvo_root=${10}
here=$src/tests/install
c99=(-std=c99 -Wall -Wextra -pedantic -Werror)

work=$(mktemp -d "${TMPDIR:-/tmp}/quorel-install.XXXXXX")
server=$work/server
demo=$work/demo
cleanup() {
  "$src/tests/e2e/standin_ctl.sh" stop "$server" || true
  "$src/tests/e2e/standin_ctl.sh" stop "$demo" || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "install_test: $*" >&2; exit 1; }

prefix=$work/prefix
lib=$prefix/$libdir
"$cmake" --install "$build" --prefix "$prefix" > "$work/install.log" \
  || { cat "$work/install.log" >&2; fail "cmake --install failed"; }

# Only the public headers, and nothing installed points back into the tree.
headers=$(cd "$prefix/include" && find . -type f | sort | tr '\n' ' ')
[ "$headers" = "./dblib/dblib.h ./halvo/c_tables.h ./pravel/pravel.h ./pravel/pravel_fc.h " ] \
  || fail "installed headers: $headers"
if grep -rlF -e "$src" -e "$build" "$lib/cmake" "$lib/pkgconfig"; then
  fail "the installed package names the source or build directory"
fi

# The archives export their entry points and nothing else by accident, and
# link whole into one shared library (no object file in two of them).
archives=("$lib/libquorel_halvo.a" "$lib/libquorel_dblib.a" "$lib/libquorel_pravel.a"
          "$lib/libquorel_plat_clock.a")
CC=$cc "$here/check_exports.sh" "$prefix/include" "${archives[@]}"
export PKG_CONFIG_PATH=$lib/pkgconfig${PKG_CONFIG_PATH:+:$PKG_CONFIG_PATH}
outside=$(pkg-config --libs quorel-halvo quorel-pravel | tr ' ' '\n' | grep -v -e '^-lquorel_' -e '^-L' | tr '\n' ' ')
mkdir -p "$work/shared" "$work/bin" "$work/tables"
"$cxx" -shared -Wl,--no-undefined -o "$work/shared/libquorel_all.so" \
  -Wl,--whole-archive "${archives[@]}" -Wl,--no-whole-archive $outside \
  || fail "the installed archives do not link whole into one shared library"
"$cc" "${c99[@]}" -I"$prefix/include" -o "$work/bin/own_names_shared" "$here/own_names.c" \
  -L"$work/shared" -lquorel_all -Wl,-rpath,"$work/shared" $outside
"$work/bin/own_names_shared"

# The installed tool: it runs, its waits are the nominal ones (nothing
# installed reads the tests' time scale), and it takes its catalogues from
# ORVO_ROOT, not from the build tree's root that the demo and the tests
# rewrite.  Asked for a demo catalogue, it looks for the throughput
# catalogue there.
status=0
err=$(ORVO_SERVER_2=NOWHERE "$prefix/bin/quorel" 2>&1 >/dev/null) || status=$?
[ "$status" -eq 1 ] && [ "$err" = "Wrong number of arguments to task (0)" ] \
  || fail "installed quorel: status $status, \"$err\""
if grep -lF QUOREL_TIME_SCALE "$prefix/bin/quorel" "${archives[@]}"; then
  fail "the installed tool or libraries read the tests' time scale"
fi
thrucat=${orvo_root}tools/data/thrucat.dat
if [ -e "$thrucat" ]; then
  echo "install_test: $thrucat exists on this machine; the installed tool's root is not checked"
else
  "$make_demo" "$work/demo-root/" "$work/demo.sqlite" 3 > /dev/null
  "$src/tests/e2e/standin_ctl.sh" start "$demo" "$standin" "$work/demo.sqlite" DEMO > /dev/null
  status=0
  err=$(MERROW=$demo/home ORVO_SERVER_2=DEMO ORVO_DB=orvo_ops \
        "$prefix/bin/quorel" "$work/tables/complist.fits" 2>&1 >/dev/null) || status=$?
  [ "$status" -eq 1 ] && [ "$err" = "Cannot open file ($thrucat)" ] \
    || fail "installed quorel on the demo catalogue: status $status, \"$err\" (its root should be $orvo_root)"
  [ ! -e "$work/tables/complist.fits" ] || fail "installed quorel wrote a table after failing"
fi

# pkg-config: each header compiles on its own as C99 and as C++; the C
# programs (one per header) and the C++ one.
for h in dblib/dblib.h pravel/pravel.h pravel/pravel_fc.h halvo/c_tables.h; do
  module=quorel-${h%%/*}
  echo "#include <$h>" | "$cc" "${c99[@]}" -fsyntax-only -x c $(pkg-config --cflags "$module") - \
    || fail "$h does not compile as C99"
  echo "#include <$h>" | "$cxx" -std=c++17 -Wall -Wextra -pedantic -Werror -fsyntax-only -x c++ \
    $(pkg-config --cflags "$module") - || fail "$h does not compile as C++"
done
build_c() {  # NAME MODULE: builds tests/install/NAME.c through pkg-config
  "$cc" "${c99[@]}" -o "$work/bin/$1" "$here/$1.c" $(pkg-config --cflags --libs "$2") \
    || fail "$1.c does not build through pkg-config ($2)"
}
build_c table_roundtrip quorel-halvo
build_c own_names quorel-dblib
build_c access_layer quorel-pravel
"$work/bin/table_roundtrip" "$work/tables"
"$work/bin/own_names"
"$work/bin/access_layer" "$work/access_layer.log"
"$cxx" -std=c++17 -Wall -Werror -o "$work/bin/entry_points" "$here/entry_points.cpp" \
  $(pkg-config --cflags --libs quorel-halvo quorel-pravel quorel-dblib)
"$work/bin/entry_points"

# find_package: the C programs from a C-only project; the C++ programs,
# among them the DB client program against the stand-in server.
configure() {  # SOURCE BINARY LANGUAGE-COMPILER-SETTING
  "$cmake" -S "$1" -B "$2" -G "$generator" "$3" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF > "$2.log" 2>&1 \
    || { cat "$2.log" >&2; fail "the find_package project $1 does not configure"; }
  found=$(sed -n 's/^Quorel_DIR:PATH=//p' "$2/CMakeCache.txt")
  [ "$found" = "$lib/cmake/Quorel" ] || fail "find_package found Quorel in $found"
  "$cmake" --build "$2" > "$2-build.log" 2>&1 \
    || { cat "$2-build.log" >&2; fail "the find_package project $1 does not build"; }
}
configure "$here/c_consumer" "$work/c_consumer" -DCMAKE_C_COMPILER="$cc"
"$work/c_consumer/table_roundtrip" "$work/tables"
"$work/c_consumer/own_names"
"$work/c_consumer/access_layer" "$work/access_layer.log"
configure "$here/consumer" "$work/consumer" -DCMAKE_CXX_COMPILER="$cxx"
"$work/consumer/entry_points"
"$src/tests/e2e/standin_ctl.sh" start "$server" "$standin" "$server/parts.sqlite" INSTALLED > /dev/null
MERROW=$server/home "$work/consumer/fetch_rows" INSTALLED
echo "install_test: installed into $prefix and built against it"
