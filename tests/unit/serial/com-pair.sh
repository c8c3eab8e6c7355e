# A pair of joined COM ports under Wine, for the serial adapter's tests and
# benchmark. Source it, do not run it.
#
#   com_pair_up BUILD_DIR   socat joins two pseudo-terminals; COM31 and COM32
#                           of the prefix BUILD_DIR/wineprefix-compair are
#                           mapped to their two ends, and Wine is restarted
#                           so its device manager makes the ports. Exports
#                           the prefix's Wine environment; sets COM_PAIR_DIR.
#                           An EXIT trap ends socat and the wineserver.
#
# The prefix is kept apart from the other tests' prefix because the mapping
# needs a restart of its wineserver.

_com_pair_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

com_pair_up() {
  local build root
  build=$(cd "$1" && pwd) || return 2
  root=$(cd "$_com_pair_dir/../../.." && pwd)
  command -v socat >/dev/null || { echo "com-pair.sh: socat is not installed" >&2; return 1; }
  # shellcheck source=../../e2e/wine-env.sh
  . "$root/tests/e2e/wine-env.sh"
  wine_env_prefix "$build/wineprefix-compair" || return 1

  COM_PAIR_DIR=$build/compair
  mkdir -p "$COM_PAIR_DIR"
  rm -f "$COM_PAIR_DIR/a" "$COM_PAIR_DIR/b"
  socat pty,raw,echo=0,link="$COM_PAIR_DIR/a" pty,raw,echo=0,link="$COM_PAIR_DIR/b" \
    >"$COM_PAIR_DIR/socat.log" 2>&1 </dev/null &
  _com_pair_socat=$!
  trap com_pair_down EXIT
  local _
  for _ in $(seq 100); do
    [ -e "$COM_PAIR_DIR/a" ] && [ -e "$COM_PAIR_DIR/b" ] && break
    sleep 0.1
  done
  if ! [ -e "$COM_PAIR_DIR/a" ] || ! [ -e "$COM_PAIR_DIR/b" ]; then
    echo "com-pair.sh: socat made no pair, see $COM_PAIR_DIR/socat.log" >&2
    return 1
  fi

  # Wine builds its COM devices from this key when its services start.
  wine reg add 'HKLM\Software\Wine\Ports' /v COM31 /d "$COM_PAIR_DIR/a" /f >"$COM_PAIR_DIR/reg.log" 2>&1 </dev/null
  wine reg add 'HKLM\Software\Wine\Ports' /v COM32 /d "$COM_PAIR_DIR/b" /f >>"$COM_PAIR_DIR/reg.log" 2>&1 </dev/null
  wineserver -k >/dev/null 2>&1
  wineserver -w >/dev/null 2>&1
}

com_pair_down() {
  wineserver -k >/dev/null 2>&1
  if [ -n "${_com_pair_socat:-}" ]; then
    kill "$_com_pair_socat" 2>/dev/null
    wait "$_com_pair_socat" 2>/dev/null
    _com_pair_socat=
  fi
}
