#!/usr/bin/env bash
# Installs what is missing, builds, and runs the tool's main job end to end on
# a demo installation inside the build tree: a catalogue of a few dozen
# components served by the stand-in database server on a free loopback port.
# The output is written as a FITS table (build/demo/complist.fits) and then
# listed on the standard output as a text table.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"

build=$PWD/build
root=$build/orvo-root/          # the data root of the tool built in the tree
demo=$build/demo
rm -rf "$demo" "$root"
mkdir -p "$demo/merrow"

"$build/testbed/demo/make_demo" "$root" "$demo/catalogue.sqlite" "${DEMO_COMPONENTS:-36}"

"$build/testbed/server/standin_server" --port 0 --portfile "$demo/port" \
  --pidfile "$demo/pid" --db "$demo/catalogue.sqlite" --log "$demo/batches.log" \
  --name ORVO_DEMO &
server_pid=$!
trap 'kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true' EXIT
for _ in $(seq 1 100); do [ -s "$demo/port" ] && break; sleep 0.1; done
[ -s "$demo/port" ] || { echo "demo: the stand-in server did not start" >&2; exit 1; }
port=$(cat "$demo/port")

# The DB client's installation directory: locale files and an interfaces
# file naming the server.
cp -r testbed/home/. "$demo/merrow/"
printf 'ORVO_DEMO\n\tmaster tcp ether 127.0.0.1 %s\n\tquery tcp ether 127.0.0.1 %s\n' \
  "$port" "$port" > "$demo/merrow/interfaces"

export MERROW=$demo/merrow ORVO_SERVER_2=ORVO_DEMO ORVO_DB=orvo_ops
unset ORVO_USER DSQUERY

quorel=$build/tools/src/quorel/quorel
echo "== quorel $demo/complist.fits"
"$quorel" "$demo/complist.fits"
echo "== quorel STDOUT (the same table as text)"
"$quorel" STDOUT
echo "== the server received $(grep -c ' batch ' "$demo/batches.log" || true) batches; log: $demo/batches.log"
