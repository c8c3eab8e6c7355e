# Figures of one Linux process over a span, read from /proc: CPU time
# (utime + stime of /proc/PID/stat) as a share of a core, VmRSS growth, the
# thread count, and the thread ids that appeared (/proc/PID/task, as often
# as proc_watch_sample is called: threads that live shorter than the gap
# between samples are mostly missed). Source it, do not run it.
#
#   proc_watch_begin PID     start a span
#   proc_watch_sample        note the thread ids present now
#   proc_watch_end LABEL     print the span's figures on one line

_proc_watch_tck=$(getconf CLK_TCK)
declare -A _proc_watch_seen

_proc_watch_ticks() {
  local stat rest f
  read -r stat <"/proc/$_proc_watch_pid/stat" || return 1
  rest=${stat##*) }
  read -r -a f <<<"$rest"
  echo $((f[11] + f[12]))
}

# The file is read in one go: bash's `read` from a file seeks back after each
# line and reads again, and /proc makes the text afresh on each read, so a
# line read that way now and then comes from a text whose lines have moved
# (a field then reads empty about once in 700 reads of a busy Wine process).
_proc_watch_status() {  # FIELD: the number of that /proc/PID/status line
  local status key value _
  status=$(<"/proc/$_proc_watch_pid/status") || return 1
  while read -r key value _; do
    [ "$key" = "$1:" ] && { echo "$value"; return 0; }
  done <<<"$status"
  return 1
}

proc_watch_begin() {
  _proc_watch_pid=$1
  _proc_watch_t0=$EPOCHREALTIME
  _proc_watch_c0=$(_proc_watch_ticks)
  _proc_watch_r0=$(_proc_watch_status VmRSS)
  _proc_watch_new=0
  _proc_watch_seen=()
  local t
  for t in /proc/"$_proc_watch_pid"/task/*; do _proc_watch_seen[${t##*/}]=1; done
}

proc_watch_sample() {
  local t
  for t in /proc/"$_proc_watch_pid"/task/*; do
    t=${t##*/}
    [ -n "${_proc_watch_seen[$t]:-}" ] || { _proc_watch_seen[$t]=1; _proc_watch_new=$((_proc_watch_new + 1)); }
  done
}

proc_watch_end() {
  local ticks rss threads
  proc_watch_sample
  ticks=$(($(_proc_watch_ticks) - _proc_watch_c0)) || return 1
  rss=$(($(_proc_watch_status VmRSS) - _proc_watch_r0))
  threads=$(_proc_watch_status Threads)
  awk -v label="$1" -v a="$_proc_watch_t0" -v b="$EPOCHREALTIME" -v ticks="$ticks" -v tck="$_proc_watch_tck" \
      -v rss="$rss" -v threads="$threads" -v new="$_proc_watch_new" \
      'BEGIN { wall = b - a
               printf "  /proc     %7.1f s  CPU %6.2f %% of a core  new thread ids seen %5.1f /s  VmRSS %+8d KB  Threads %d  (%s)\n",
                      wall, 100 * ticks / tck / wall, new / wall, rss, threads, label }'
}
