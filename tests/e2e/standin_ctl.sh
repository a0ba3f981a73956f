#!/bin/sh
# Starts and stops the stand-in database server for the demo and the
# end-to-end runs.
#
#   standin_ctl.sh start DIR SERVER_EXE DB_FILE [SERVERNAME] [-- extra server args]
#       starts the server on a free port of 127.0.0.1 with DIR as its work
#       directory (port, pid, batches.log) and makes DIR/home, a MERROW
#       installation directory: a copy of testbed/home with an interfaces
#       file naming the server SERVERNAME (default MERROW_1).  Prints the port.
#   standin_ctl.sh stop DIR
#       stops the server by its process id (SIGTERM, then SIGKILL after 10 s).
set -eu

here=$(cd "$(dirname "$0")" && pwd)
fixture="$here/../../testbed/home"

cmd=${1:-}
case "$cmd" in
start)
  [ $# -ge 4 ] || { echo "usage: $0 start DIR SERVER_EXE DB_FILE [SERVERNAME] [-- args]" >&2; exit 2; }
  dir=$2; exe=$3; db=$4; name=MERROW_1
  shift 4
  if [ $# -gt 0 ] && [ "$1" != "--" ]; then name=$1; shift; fi
  [ $# -gt 0 ] && [ "$1" = "--" ] && shift
  mkdir -p "$dir"
  rm -f "$dir/port" "$dir/pid"
  "$exe" --port 0 --portfile "$dir/port" --pidfile "$dir/pid" --log "$dir/batches.log" \
    --db "$db" "$@" > "$dir/server.out" 2>&1 &
  i=0
  while [ ! -s "$dir/port" ]; do
    i=$((i + 1))
    if [ $i -gt 500 ]; then echo "standin_ctl: the server did not start" >&2; cat "$dir/server.out" >&2; exit 1; fi
    sleep 0.02
  done
  port=$(cat "$dir/port")
  mkdir -p "$dir/home"
  cp -R "$fixture/." "$dir/home/"
  printf '%s 0 1\n\tmaster tcp ether 127.0.0.1 %s\n\tquery tcp ether 127.0.0.1 %s\n' \
    "$name" "$port" "$port" > "$dir/home/interfaces"
  echo "$port"
  ;;
stop)
  [ $# -ge 2 ] || { echo "usage: $0 stop DIR" >&2; exit 2; }
  dir=$2
  [ -s "$dir/pid" ] || exit 0
  pid=$(cat "$dir/pid")
  kill -TERM "$pid" 2>/dev/null || exit 0
  i=0
  while kill -0 "$pid" 2>/dev/null; do
    i=$((i + 1))
    if [ $i -gt 500 ]; then kill -KILL "$pid" 2>/dev/null || true; break; fi
    sleep 0.02
  done
  rm -f "$dir/pid"
  ;;
*)
  echo "usage: $0 start|stop ..." >&2
  exit 2
  ;;
esac
