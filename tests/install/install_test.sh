#!/usr/bin/env bash
# Installs the build into a temporary prefix and builds outside programs
# against that prefix only: one through pkg-config (a table written and read
# back through the c_ entry points), one through find_package (rows fetched
# from the stand-in server through the DB client), and in both ways a program
# that links one entry point of every installed library.
#
#   install_test.sh BUILD_DIR SOURCE_DIR LIBDIR CMAKE GENERATOR CC CXX STANDIN_SERVER
#
# LIBDIR is the build's CMAKE_INSTALL_LIBDIR.  What is installed is the build
# under test (the sanitized one in scripts/test.sh), not a second plain
# build: its package names the link flags its libraries need (the sanitizer
# runtimes), so the programs here link exactly as any caller of that build
# must, with no flags of their own, and nothing is compiled twice.
set -euo pipefail
[ $# -eq 8 ] || { echo "usage: $0 BUILD_DIR SOURCE_DIR LIBDIR CMAKE GENERATOR CC CXX STANDIN_SERVER" >&2; exit 2; }
build=$1 src=$2 libdir=$3 cmake=$4 generator=$5 cc=$6 cxx=$7 standin=$8
here=$src/tests/install

work=$(mktemp -d "${TMPDIR:-/tmp}/quorel-install.XXXXXX")
server=$work/server
cleanup() {
  "$src/tests/e2e/standin_ctl.sh" stop "$server" || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "install_test: $*" >&2; exit 1; }

prefix=$work/prefix
"$cmake" --install "$build" --prefix "$prefix" > "$work/install.log" \
  || { cat "$work/install.log" >&2; fail "cmake --install failed"; }

# Only the public headers, and nothing installed points back into the tree.
headers=$(cd "$prefix/include" && find . -type f | sort | tr '\n' ' ')
[ "$headers" = "./dblib/dblib.h ./halvo/c_tables.h ./pravel/pravel.h ./pravel/pravel_fc.h " ] \
  || fail "installed headers: $headers"
if grep -rlF -e "$src" -e "$build" "$prefix/$libdir/cmake" "$prefix/$libdir/pkgconfig"; then
  fail "the installed package names the source or build directory"
fi

# The installed tool runs.
status=0
err=$(ORVO_SERVER_2=NOWHERE "$prefix/bin/quorel" 2>&1 >/dev/null) || status=$?
[ "$status" -eq 1 ] && [ "$err" = "Wrong number of arguments to task (0)" ] \
  || fail "installed quorel: status $status, \"$err\""

# pkg-config: each header compiles on its own, C's too; the table program.
export PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig${PKG_CONFIG_PATH:+:$PKG_CONFIG_PATH}
for h in dblib/dblib.h pravel/pravel.h pravel/pravel_fc.h halvo/c_tables.h; do
  module=quorel-${h%%/*}
  echo "#include <$h>" | "$cxx" -std=c++17 -fsyntax-only -x c++ $(pkg-config --cflags "$module") - \
    || fail "$h does not compile on its own"
done
echo "#include <halvo/c_tables.h>" | "$cc" -std=c99 -fsyntax-only -x c $(pkg-config --cflags quorel-halvo) - \
  || fail "halvo/c_tables.h does not compile as C"
mkdir -p "$work/bin" "$work/tables"
"$cc" -std=c11 -Wall -Werror -o "$work/bin/table_roundtrip" "$here/table_roundtrip.c" \
  $(pkg-config --cflags --libs quorel-halvo)
"$work/bin/table_roundtrip" "$work/tables"
"$cxx" -std=c++17 -Wall -Werror -o "$work/bin/entry_points" "$here/entry_points.cpp" \
  $(pkg-config --cflags --libs quorel-halvo quorel-pravel quorel-dblib)
"$work/bin/entry_points"

# find_package: the DB client program against the stand-in server.
"$cmake" -S "$here/consumer" -B "$work/consumer" -G "$generator" \
  -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF > "$work/consumer.log" \
  || { cat "$work/consumer.log" >&2; fail "the find_package consumer does not configure"; }
found=$(sed -n 's/^Quorel_DIR:PATH=//p' "$work/consumer/CMakeCache.txt")
[ "$found" = "$prefix/$libdir/cmake/Quorel" ] || fail "find_package found Quorel in $found"
"$cmake" --build "$work/consumer" > "$work/consumer-build.log" \
  || { cat "$work/consumer-build.log" >&2; fail "the find_package consumer does not build"; }
"$work/consumer/entry_points"
"$src/tests/e2e/standin_ctl.sh" start "$server" "$standin" "$server/parts.sqlite" INSTALLED > /dev/null
MERROW=$server/home "$work/consumer/fetch_rows" INSTALLED
echo "install_test: installed into $prefix and built against it"
