#!/usr/bin/env bash
# Soak of the two client consoles' links: tagdesk-connect.exe and
# tagdesk-legacy.exe under Wine, side by side in one session, each logged in
# to its own native software reader (direct on 127.0.0.5:4099, legacy on
# 127.0.0.6:4099; the console scenarios use 127.0.0.1, so the two never
# share a port), lose their link again and again and get it back:
#
# - silence: the reader's line carries nothing for 62 s (more than the
#   consoles' 60-second link time-out);
# - restart: the reader is killed and a fresh one starts (at once for the
#   connecting console, whose time-out notices it; after 35 s for the legacy
#   console, whose heartbeats any reader answers).
#
# After each loss "未连接" must show within the ticks the console counts
# (60 s after the last link request for the connecting console, 30 s after
# the last valid frame for the legacy one), and "已连接" again within the
# login retry (5 s, 3 s) once the reader can answer. The Wine processes' VmRSS and thread counts are read from /proc
# (bench/proc-watch.sh) after the first link and at the end.
#
#   tests/e2e/soak_links.sh BUILD_DIR [short|long]
#
# short: one loss each, a silence for the connecting console and a restart
# for the legacy one, side by side (about 80 s); long: 100 losses each,
# silences and restarts in turn.
. "$(dirname "$0")/soak-lib.sh" "$@"
LOSSES=$(soak_size 1 100)
SILENCE=62
QUIET_AT=8   # the silence starts this long after the reader's start
SEED=${SOAK_SEED:-1}
KINDS=(connect legacy)
declare -A EXE=([connect]=$build/console/connect/tagdesk-connect.exe [legacy]=$build/console/legacy/tagdesk-legacy.exe)
declare -A MODE=([connect]=direct [legacy]=legacy)
declare -A ADDR=([connect]=127.0.0.5 [legacy]=127.0.0.6)
# The console's link time-out and login retry, and the longest gap between
# two frames that keep its link, in seconds: the connecting console counts
# link requests only (one every 10 s), the legacy console any valid frame
# (a tag report every tick).
declare -A TIMEOUT=([connect]=60 [legacy]=30)
declare -A RETRY=([connect]=5 [legacy]=3)
declare -A KEEP=([connect]=10 [legacy]=1)
# How long a restarted reader stays away. The legacy reader answers
# heartbeats whether or not a login came, so a quick restart keeps the
# legacy console's link: it stays away longer than the 30-s time-out.
declare -A DOWN=([connect]=0 [legacy]=35)
declare -A TITLE=([connect]=tagdeskV1.9 [legacy]=tagdeskV1.6)
# The first loss of each console.
if [ "$mode" = short ]; then
  declare -A FIRST=([connect]=silence [legacy]=restart)
else
  declare -A FIRST=([connect]=silence [legacy]=silence)
fi
declare -A W PID back_at linked lost_at cause cause_at spread losses readers base_rss base_threads reader_t0

sim=$(native_readersim "$build") || exit 1
E2E_LOGDIR=$build/e2e-logs/soak-links-$mode
e2e_setup "$build" || exit 1
LOG=$E2E_LOGDIR
CSV=$LOG/soak-links.csv
now() { awk -v a="$T0" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }'; }

# Starts reader number N of KIND; with "silence" its line is silent from
# QUIET_AT for SILENCE seconds (and not again within the cycle).
start_reader() {  # KIND N [silence]
  local kind=$1 n=$2 args=()
  [ "${3:-}" = silence ] && args=(--seed "$SEED" --silence $SILENCE --silence-every $((QUIET_AT + SILENCE)))
  [ "$kind" = connect ] && args+=(--version 4 --link-period 10)
  "$sim" "${MODE[$kind]}" --bind "${ADDR[$kind]}" --tick-ms 1000 --tags 20 "${args[@]}" \
    > >(awk -v t0="${T0%.*}" '{ printf "%d %s\n", systime() - t0, $0; fflush() }' >"$LOG/$kind-reader-$n.out") \
    2>"$LOG/$kind-reader-$n.err" </dev/null &
  E2E_PIDS[reader-$kind]=$!
}

# Both consoles, told apart by their captions; each window is renamed once
# found, so that the connecting console's caption is free for no other.
for kind in "${KINDS[@]}"; do
  e2e_start "$kind" "${EXE[$kind]}"
  W[$kind]=$(ui wait-window "TAGDESKTEST:${TITLE[$kind]}" 30000) ||
    { echo "the $kind console did not open" >&2; exit 1; }
  ui set-text "${W[$kind]}" . "soak-$kind" >/dev/null
  PID[$kind]=${E2E_PIDS[$kind]}
done
T0=$EPOCHREALTIME
# Causes the next loss of KIND once it is linked: a restart after a silence,
# a silence after a restart.
next_loss() {  # KIND
  local kind=$1 t
  kill "${E2E_PIDS[reader-$kind]}" 2>/dev/null
  wait "${E2E_PIDS[reader-$kind]}" 2>/dev/null
  readers[$kind]=$((readers[$kind] + 1))
  t=$(now)
  reader_t0[$kind]=${t%.*}
  if [ "${cause[$kind]}" = silence ]; then
    cause[$kind]=restart cause_at[$kind]=${t%.*} spread[$kind]=0
    back_at[$kind]=$((${t%.*} + DOWN[$kind]))
  else
    # A fresh reader that goes silent before the console times the old one
    # out: the loss is the restart's, the recovery waits for the silence's
    # end.
    cause[$kind]=silence cause_at[$kind]=${t%.*} spread[$kind]=$QUIET_AT
    start_reader "$kind" "${readers[$kind]}" silence
  fi
}

for kind in "${KINDS[@]}"; do
  if [ "${FIRST[$kind]}" = silence ]; then start_reader "$kind" 1 silence; else start_reader "$kind" 1; fi
  ui set-ip "${W[$kind]}" 1180 "${ADDR[$kind]}" >/dev/null
  ui click "${W[$kind]}" 1016 >/dev/null
done
sleep 0.5
[ "$(ui get-text "${W[connect]}" 1016)" = "停止" ] && [ "$(ui get-text "${W[legacy]}" 1016)" = "停止" ] ||
  { echo "a console did not start" >&2; exit 1; }

echo "t_s,kind,rss_kb,threads,linked" >"$CSV"
for kind in "${KINDS[@]}"; do
  linked[$kind]=0 losses[$kind]=0 readers[$kind]=1
  # When and how the current loss was caused (a silence's start, a kill); a
  # console whose first loss is a restart gets it from next_loss at its
  # first link.
  cause_at[$kind]=$QUIET_AT cause[$kind]=silence reader_t0[$kind]=0 spread[$kind]=0
done
deadline=$((LOSSES * 110 + 60))
while :; do
  t=$(now)
  done_all=1
  for kind in "${KINDS[@]}"; do
    if [ -n "${back_at[$kind]:-}" ] && [ "${t%.*}" -ge "${back_at[$kind]}" ]; then
      start_reader "$kind" "${readers[$kind]}"
      unset "back_at[$kind]"
    fi
    [ "${losses[$kind]}" -ge "$LOSSES" ] && [ "${linked[$kind]}" = 1 ] && continue
    done_all=0
    _proc_watch_pid=${PID[$kind]}
    rss=$(_proc_watch_status VmRSS) threads=$(_proc_watch_status Threads)
    status=$(ui get-text "${W[$kind]}" 1041)
    case $status in
      已连接) now_linked=1 ;;
      未连接) now_linked=0 ;;
      *) echo "$t s: $kind status read as [$status]" >&2; continue ;;  # a failed read
    esac
    echo "$t,$kind,$rss,$threads,$now_linked" >>"$CSV"
    if [ "$now_linked" != "${linked[$kind]}" ]; then
      if [ "$now_linked" = 1 ]; then
        if [ -z "${base_rss[$kind]:-}" ]; then
          base_rss[$kind]=$rss base_threads[$kind]=$threads
          echo "$kind: linked at $t s (VmRSS $rss KB, $threads threads)"
          [ "${FIRST[$kind]}" = restart ] && next_loss "$kind"
        else
          # Back once the reader can answer: the silence's end, or at once
          # after a restart; the console retries every 5 s.
          ready=${lost_at[$kind]}
          back=$((cause_at[$kind] + DOWN[$kind]))
          [ "${cause[$kind]}" = restart ] && [ "$back" -gt "$ready" ] && ready=$back
          [ "${cause[$kind]}" = silence ] && ready=$((QUIET_AT + SILENCE + ${reader_t0[$kind]:-0}))
          late=$(awk -v t="$t" -v r="$ready" -v k="${RETRY[$kind]}" 'BEGIN { print (t <= r + k + 2.5) ? "in time" : "late" }')
          expect_eq "$kind: linked again at $t s after the ${cause[$kind]} (ready at $ready s)" "$late" "in time"
          # The next loss: a restart after a silence, a silence after a restart.
          [ "${losses[$kind]}" -lt "$LOSSES" ] && next_loss "$kind"
        fi
      else
        losses[$kind]=$((losses[$kind] + 1))
        lost_at[$kind]=${t%.*}
        # TIMEOUT ticks after the last frame that kept the link, which came
        # at most KEEP seconds before the cause and, after a restart into a
        # silence, at most QUIET_AT seconds after it: the fresh reader may
        # answer until its line goes quiet (and the tick edges: 2 s).
        range=$(awk -v t="$t" -v c="${cause_at[$kind]}" -v k="${KEEP[$kind]}" -v o="${TIMEOUT[$kind]}" \
          -v s="${spread[$kind]}" 'BEGIN { print (t >= c + o - k - 2 && t <= c + s + o + 2) ? "in time" : "out of time" }')
        expect_eq "$kind: loss ${losses[$kind]} (${cause[$kind]} at ${cause_at[$kind]} s) shown at $t s" "$range" "in time"
      fi
      linked[$kind]=$now_linked
    fi
  done
  [ "$done_all" = 1 ] && break
  if [ "${t%.*}" -gt "$deadline" ]; then
    fail "still not done at $t s: losses ${losses[connect]}/${losses[legacy]}"
    break
  fi
  sleep 0.5
done

for kind in "${KINDS[@]}"; do
  _proc_watch_pid=${PID[$kind]}
  rss=$(_proc_watch_status VmRSS) threads=$(_proc_watch_status Threads)
  growth=$((rss - ${base_rss[$kind]:-0}))
  echo "$kind: ${losses[$kind]} losses; VmRSS ${base_rss[$kind]:-?} -> $rss KB ($growth KB), threads ${base_threads[$kind]:-?} -> $threads"
  expect_eq "$kind: VmRSS growth below 1 MB" "$([ "$growth" -lt 1024 ] && echo yes)" "yes"
  expect_eq "$kind: thread count unchanged" "$threads" "${base_threads[$kind]:-?}"
  tr -d '\r' <"$LOG/$kind-reader-1.out" | grep '^# line ' | sed "s/^/$kind reader 1: /"
done
e2e_finish
