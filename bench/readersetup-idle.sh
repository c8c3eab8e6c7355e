#!/usr/bin/env bash
# The configuration tool as a user leaves it: readersetup.exe under Wine
# with a model-1 reader (the native readersim) on COM1, the port opened from
# the port choice, page 105 showing with the port still open, and nothing
# arriving. The tool's Wine process is watched through /proc
# (bench/proc-watch.sh, sampled every 0.1 s) for SECONDS, one line per 10 s,
# then the whole span. TOOL.exe defaults to the build's readersetup.exe;
# an older build of the tool (setup/readersetup-v3.5.exe, ...) or a copy
# kept from another commit works the same way.
#
#   bench/readersetup-idle.sh BUILD_DIR [SECONDS [TOOL.exe]]
#
# Needs what the end-to-end tests need (tests/e2e/README.md); a session
# takes about 20 s more than SECONDS.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
build=$(cd "${1:?usage: readersetup-idle.sh BUILD_DIR [SECONDS [TOOL.exe]]}" && pwd) || exit 2
seconds=${2:-60}
tool=${3:-$build/setup/readersetup.exe}
# shellcheck source=../tests/e2e/wine-env.sh
. "$root/tests/e2e/wine-env.sh"
# shellcheck source=../tests/e2e/lib.sh
. "$root/tests/e2e/lib.sh"
# shellcheck source=proc-watch.sh
. "$here/proc-watch.sh"

sim=$(native_readersim "$build") || exit 1
E2E_LOGDIR=$build/e2e-logs/readersetup-idle
e2e_setup "$build" || exit 1
serial_reader wired COM1 --model 1 --level 3 --connect wait --version-text V3.6-idle

e2e_start tool "$tool"
WIN=$(ui wait-window readerSetupKit 30000) || { echo "the tool did not open" >&2; exit 1; }
open_port 0
# The page (and its control 1005) exists only once the reply has come.
for ((i = 0; i < 80; i++)); do
  [ "$(text_of 1005 2>/dev/null)" = "V3.6-idle" ] && break
  sleep 0.1
done
[ "$(text_of 1005 2>/dev/null)" = "V3.6-idle" ] || { echo "page 105 did not show" >&2; exit 1; }
[ "$(text_of 1002)" = "关闭串口" ] || { echo "the port is not open" >&2; exit 1; }
pid=${E2E_PIDS[tool]}
echo "$(basename "$tool"): page 105 showing, port open, nothing arriving; Wine process $pid"
sleep 2

proc_watch_begin "$pid"
first_ticks=$(_proc_watch_ticks) first_rss=$(_proc_watch_status VmRSS) first_t=$EPOCHREALTIME
for ((tenth = 1; tenth <= seconds * 10; tenth++)); do
  sleep 0.1
  proc_watch_sample
  if ((tenth % 100 == 0)); then
    proc_watch_end "$((tenth / 10)) s"
    proc_watch_begin "$pid"
  fi
done
awk -v a="$first_t" -v b="$EPOCHREALTIME" -v ticks=$(($(_proc_watch_ticks) - first_ticks)) \
    -v tck="$_proc_watch_tck" -v rss=$(($(_proc_watch_status VmRSS) - first_rss)) \
    'BEGIN { wall = b - a
             printf "whole: %.1f s  CPU %.2f %% of a core  VmRSS %+d KB\n", wall, 100 * ticks / tck / wall, rss }'
