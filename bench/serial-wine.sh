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
tck=$(getconf CLK_TCK)

cpu_ticks() {  # utime + stime, the 14th and 15th fields of /proc/PID/stat
  local stat rest
  read -r stat <"/proc/$pid/stat" || return 1
  rest=${stat##*) }
  read -r -a f <<<"$rest"
  echo $((f[11] + f[12]))
}
status_field() {  # the number of a /proc/PID/status line
  local key value _
  while read -r key value _; do
    [ "$key" = "$1:" ] && { echo "$value"; return 0; }
  done <"/proc/$pid/status"
  return 1
}

declare -A seen
shown=0
phase="" t0=0 c0=0 r0=0 appeared=0
while kill -0 "$pid" 2>/dev/null; do
  if [ -n "$phase" ]; then
    for t in /proc/"$pid"/task/*; do
      t=${t##*/}
      [ -n "${seen[$t]:-}" ] || { seen[$t]=1; appeared=$((appeared + 1)); }
    done
  fi
  mapfile -t -s "$shown" lines <"$out"
  for line in "${lines[@]}"; do
    shown=$((shown + 1))
    echo "$line"
    case $line in
      "== begin "*)
        phase=${line#== begin }
        sleep 0.2   # the harness settles for as long before it starts counting
        t0=$EPOCHREALTIME c0=$(cpu_ticks) r0=$(status_field VmRSS) appeared=0
        seen=()
        for t in /proc/"$pid"/task/*; do seen[${t##*/}]=1; done
        ;;
      "== end "*)
        wall=$(awk -v a="$t0" -v b="$EPOCHREALTIME" 'BEGIN { print b - a }')
        awk -v name="$phase" -v wall="$wall" -v ticks=$(($(cpu_ticks) - c0)) -v tck="$tck" \
            -v rss=$(($(status_field VmRSS) - r0)) -v threads="$(status_field Threads)" -v new="$appeared" \
            'BEGIN { printf "  /proc     %7.1f s  CPU %6.2f %% of a core  new thread ids seen %5.1f /s  VmRSS %+8d KB  Threads %d  (%s)\n",
                     wall, 100 * ticks / tck / wall, new / wall, rss, threads, name }'
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
