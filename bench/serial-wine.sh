#!/usr/bin/env bash
# Runs bench_serial_win.exe under Wine over a pair of joined COM ports
# (COM31 and COM32 on a socat pseudo-terminal pair) and watches the Wine
# process from outside through /proc while it runs: for each idle phase that
# the harness frames with "== begin NAME" / "== end NAME", its CPU time
# (utime + stime of /proc/PID/stat), the growth of VmRSS, the thread count,
# and the Linux thread ids that appeared (/proc/PID/task, sampled every
# 0.1 s: threads that live shorter than that are mostly missed; the
# harness's own count of started threads is exact).
#
#   bench/serial-wine.sh BUILD_DIR [REPLIES [IDLE_SECONDS]]
#
# BUILD_DIR is the cross build that holds bench/bench_serial_win.exe.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
build=$(cd "${1:?usage: serial-wine.sh BUILD_DIR [REPLIES [IDLE_SECONDS]]}" && pwd) || exit 2
shift
exe=$build/bench/bench_serial_win.exe
[ -f "$exe" ] || { echo "serial-wine.sh: build bench_serial_win first" >&2; exit 2; }
# shellcheck source=../tests/unit/serial/com-pair.sh
. "$root/tests/unit/serial/com-pair.sh"
com_pair_up "$build" || exit 1

out=$COM_PAIR_DIR/bench.out
wine "$exe" "$@" >"$out" 2>"$COM_PAIR_DIR/bench.err" </dev/null &
pid=$!   # the Wine process of the program itself (wine execs its loader)
# shellcheck source=proc-watch.sh
. "$here/proc-watch.sh"

shown=0
phase=""
while kill -0 "$pid" 2>/dev/null; do
  [ -n "$phase" ] && proc_watch_sample
  mapfile -t -s "$shown" lines <"$out"
  for line in "${lines[@]}"; do
    shown=$((shown + 1))
    echo "$line"
    case $line in
      "== begin "*)
        phase=${line#== begin }
        sleep 0.2   # the harness settles for as long before it starts counting
        proc_watch_begin "$pid"
        ;;
      "== end "*)
        proc_watch_end "$phase"
        phase=""
        ;;
    esac
  done
  sleep 0.1
done
wait "$pid"
rc=$?
mapfile -t -s "$shown" lines <"$out"
printf '%s\n' "${lines[@]}"
cat "$COM_PAIR_DIR/bench.err" >&2
exit "$rc"
