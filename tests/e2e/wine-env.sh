# Wine environment for the Windows-side tests. Source it, do not run it.
#
#   . tests/e2e/wine-env.sh     defines the functions below and does nothing else
#   e2e_setup "$BUILD"          then prepares an end-to-end session
#
# Prefix (no display needed; tests/wine-run.sh uses only this):
#   wine_env_prefix DIR [headless|desktop]
#                              create the Wine prefix DIR once, or reuse it; exports
#                              WINEPREFIX, WINEDEBUG, WINEDLLOVERRIDES
# End-to-end session (prefix BUILD_DIR/wineprefix-SESSION, Xvfb, uidriver).
# SESSION is $E2E_SESSION, "e2e" unless set: sessions of other names have a
# prefix, a lock, pty pairs and a display of their own, so they can run side
# by side with each other (the soak scenarios do).
#   e2e_setup BUILD_DIR        lock the session, prepare the prefix, start Xvfb unless
#                              DISPLAY is set, start a persistent wineserver; installs
#                              e2e_shutdown as the EXIT trap
#   e2e_start NAME EXE [ARG]   start a program in the background, output to
#                              $E2E_LOGDIR/NAME.out and NAME.err
#   e2e_wait NAME TIMEOUT_S    wait for it to end, return its exit code (124: still runs)
#   e2e_serial NAME COMn       connect COMn (1..32) of the prefix to a new pty pair and
#                              export E2E_SERIAL_<NAME> (upper case), the Linux end for
#                              the software reader; restarts Wine, so call it before
#                              e2e_start. COM1..COM32 hold exactly the mapped ports
#   e2e_ui CMD [ARG...]        run one uidriver command, print its output
#   e2e_ui_script              run uidriver commands read from standard input
#   e2e_msgbox WIN TIMEOUT_MS  wait for a message box; sets E2E_BOX, E2E_BOX_CAPTION,
#                              E2E_BOX_TEXT, E2E_BOX_OWNER, E2E_BOX_ICON
#   e2e_screenshot FILE.png    capture the whole display
#   e2e_shutdown               end the started programs, pty pairs, wineserver and Xvfb
#
# Wine's helper processes inherit the standard handles of the program that
# started them and keep them open, so every Wine program here writes to files,
# never to a pipe that a caller waits on.

_wine_env_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# Bump when the prefix set-up below changes, so existing prefixes are redone.
_wine_env_version="tagdesk-prefix-3"
# Size of the virtual desktop of end-to-end sessions; Xvfb's screen matches it.
: "${E2E_DESKTOP_SIZE:=1280x1024}"

# Fonts that the dialogs name, mapped to the CJK font that Debian ships, and
# no crash dialog (it would wait for a click on a headless display). The
# flavour "headless" selects Wine's null display driver: windows and dialogs
# work without any X display, unseen (for the Win32 layer's unit tests). With
# "desktop", every window opens inside one Wine virtual desktop, which draws
# the window frames and captions itself: screenshots then show them without a
# window manager on the X display.
_wine_env_reg() {
  local face
  printf 'Windows Registry Editor Version 5.00\r\n\r\n'
  printf '[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
  for face in "微软雅黑" "Microsoft YaHei" "MS Shell Dlg" "MS Shell Dlg 2" \
              "Tahoma" "SimSun" "宋体"; do
    printf '"%s"="Noto Sans CJK SC"\r\n' "$face"
  done
  printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]\r\n'
  printf '"ShowCrashDialog"=dword:00000000\r\n'
  if [ "$1" = headless ]; then
    printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Drivers]\r\n'
    printf '"Graphics"="null"\r\n'
  fi
  if [ "$1" = desktop ]; then
    printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]\r\n'
    printf '"Desktop"="Default"\r\n'
    printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]\r\n'
    printf '"Default"="%s"\r\n' "$E2E_DESKTOP_SIZE"
  fi
  printf '\r\n'
}

_wine_env_export() {
  export WINEPREFIX=$1
  export WINEARCH=win64
  export WINEDEBUG=-all
  # No Mono or Gecko installer; no menu entries written into $HOME.
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  # Wine converts command lines and file names with the locale's character
  # set: make it UTF-8, so that Chinese arguments reach the programs intact.
  case $(locale charmap 2>/dev/null) in
    UTF-8) ;;
    *) export LC_ALL=C.UTF-8 ;;
  esac
}

# What a prepared prefix holds, written into DIR/.tagdesk-ready.
_wine_env_stamp() {
  case $1 in
    desktop) echo "$_wine_env_version desktop $E2E_DESKTOP_SIZE" ;;
    *) echo "$_wine_env_version $1" ;;
  esac
}

_wine_env_ready() {
  [ -f "$1/.tagdesk-ready" ] && [ "$(cat "$1/.tagdesk-ready")" = "$(_wine_env_stamp "$2")" ]
}

# _wine_env_import FILE: imports registry text (UTF-8) from standard input.
# regedit takes text beyond ASCII only from UTF-16 files, so FILE is one.
_wine_env_import() {
  { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE; } >"$1" && regedit /S "$1" </dev/null
}

# Runs while holding DIR.lock: boot the prefix and import the registry file.
_wine_env_init_locked() {
  local dir=$1 flavour=$2 log=$1.init.log
  _wine_env_ready "$dir" "$flavour" && return 0
  mkdir -p "$dir" || return 1
  {
    echo "== wineboot -i"
    wineboot -i
    echo "== regedit (exit $?)"
    _wine_env_reg "$flavour" | _wine_env_import "$dir/tagdesk.reg"
    echo "== wineserver -w (exit $?)"
    # Wait until the boot's processes have ended and the registry is on disk.
    wineserver -w
  } >"$log" 2>&1 </dev/null
  if ! grep -q 'Noto Sans CJK SC' "$dir/user.reg" 2>/dev/null; then
    echo "wine-env: preparing the prefix $dir failed, see $log" >&2
    return 1
  fi
  _wine_env_stamp "$flavour" >"$dir/.tagdesk-ready"
}

# wine_env_prefix DIR [headless|desktop]
wine_env_prefix() {
  local dir=$1 flavour=${2:-}
  case $dir in /*) ;; *) dir=$PWD/$dir ;; esac
  _wine_env_export "$dir"
  _wine_env_ready "$dir" "$flavour" && return 0
  mkdir -p "$(dirname "$dir")" || return 1
  # Parallel test runs in one build share the prefix: the first one boots it,
  # the others wait here and then find it ready.
  ( flock -x 9 && _wine_env_init_locked "$dir" "$flavour" ) 9>"$dir.lock"
}

_e2e_started_x=""
_e2e_lock_holder=""
declare -gA E2E_PIDS=()
declare -gA _e2e_com=()  # COM port number -> the .win end of its pty pair

# Processes of a session other than Wine's, one pid a line, so that the next
# session can end them if this one was killed outright.
_e2e_pidfile() { echo "$E2E_BUILD/wineprefix-$E2E_SESSION.pids"; }
_e2e_remember() { echo "$1" >>"$(_e2e_pidfile)"; }

# The persistent server keeps the prefix warm between uidriver runs.
_e2e_start_server() { wineserver -p >"$E2E_LOGDIR/wineserver.log" 2>&1 </dev/null; }
_e2e_stop_server() {
  wineserver -k >/dev/null 2>&1
  wineserver -w >/dev/null 2>&1
}

# _e2e_wait_paths SECONDS PATH...: waits until every PATH exists.
_e2e_wait_paths() {
  local i path missing
  for ((i = 0; i < $1 * 10; i++)); do
    missing=""
    for path in "${@:2}"; do
      [ -e "$path" ] || missing=$path
    done
    [ -z "$missing" ] && return 0
    sleep 0.1
  done
  return 1
}

_e2e_start_xvfb() {
  local fdfile=$E2E_LOGDIR/xvfb.display i
  : >"$fdfile"
  # -displayfd lets Xvfb pick a free display itself and report it when ready.
  Xvfb -displayfd 3 -screen 0 "${E2E_DESKTOP_SIZE}x24" -nolisten tcp \
    3>"$fdfile" >"$E2E_LOGDIR/xvfb.log" 2>&1 </dev/null &
  _e2e_started_x=$!
  _e2e_remember "$_e2e_started_x"
  for ((i = 0; i < 100; i++)); do
    if [ -s "$fdfile" ]; then
      DISPLAY=":$(tr -d '[:space:]' <"$fdfile")"
      export DISPLAY
      return 0
    fi
    kill -0 "$_e2e_started_x" 2>/dev/null || break
    sleep 0.1
  done
  echo "wine-env: Xvfb did not start, see $E2E_LOGDIR/xvfb.log" >&2
  return 1
}

# One session at a time per prefix, since e2e_shutdown ends every process in
# it. The lock is held by a small process of its own: an open lock file in this
# shell would be inherited by Xvfb, wineserver and every program, and a killed
# session's leftovers would then keep it locked. The holder lets go when this
# shell ends, however it ends.
_e2e_lock_session() {
  local lock=$1 parent=$BASHPID ready answer
  ready=$(mktemp -u) && mkfifo "$ready" || return 1
  (
    if flock -x -w 900 9; then answer=locked; else answer=timeout; fi
    echo "$answer" >"$ready"
    [ "$answer" = locked ] || exit 1
    while kill -0 "$parent" 2>/dev/null; do sleep 0.5; done
  ) 9>"$lock" </dev/null >/dev/null 2>&1 &
  _e2e_lock_holder=$!
  read -r answer <"$ready"
  rm -f "$ready"
  if [ "$answer" != locked ]; then
    echo "wine-env: another session kept $lock for 900 s" >&2
    _e2e_lock_holder=""
    return 1
  fi
}

# A session killed outright (SIGKILL, a test timeout) leaves its wineserver,
# Xvfb and socat processes behind; the next session ends them, each recorded
# pid only if it is still an Xvfb or a socat of this build started here.
_e2e_end_leftovers() {
  local pidfile pid cmd
  pidfile=$(_e2e_pidfile)
  _e2e_stop_server
  [ -f "$pidfile" ] || return 0
  while read -r pid; do
    cmd=$(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null) || continue
    case $cmd in
      "Xvfb -displayfd "* | "socat pty,raw,echo=0,link=$E2E_BUILD/$E2E_SESSION-serial/"*) kill "$pid" 2>/dev/null ;;
    esac
  done <"$pidfile"
  rm -f "$pidfile"
}

# Wine opens \\.\COMn through the link dosdevices/comn, and its device manager
# makes those links when the server starts: first for the ports named in
# HKLM\Software\Wine\Ports, then for the host's /dev/ttyS*, ttyUSB* and ttyACM*
# on the lowest free numbers. Every port made so opens, even once its link
# dangles (Wine then opens a device of its own that carries no data). Where
# dosdevices/comn is a directory, making the port fails and the number stays
# taken, so every number from 1 to 32 that is not mapped gets one: the host's
# ports vanish and COM1..COM32 are exactly the mapped ports. Runs while no
# server runs.
_e2e_block_com_ports() {
  local n dir=$WINEPREFIX/dosdevices
  for ((n = 1; n <= 32; n++)); do
    rm -rf "$dir/com$n"
    [ -n "${_e2e_com[$n]:-}" ] || mkdir "$dir/com$n" || return 1
  done
}

# HKLM\Software\Wine\Ports holding just the mapped ports.
_e2e_ports_reg() {
  local n path
  printf 'Windows Registry Editor Version 5.00\r\n\r\n'
  printf '[-HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\r\n\r\n'
  printf '[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\r\n'
  for n in "${!_e2e_com[@]}"; do
    path=${_e2e_com[$n]//\\/\\\\}
    printf '"COM%d"="%s"\r\n' "$n" "${path//\"/\\\"}"
  done
  printf '\r\n'
}

# Writes the mapped ports into the registry, then restarts Wine so that its
# device manager makes them anew. Ends every program of the prefix.
_e2e_map_com_ports() {
  local n links=()
  for n in "${!_e2e_com[@]}"; do
    links+=("$WINEPREFIX/dosdevices/com$n")
  done
  # On a loaded machine Wine's device manager has once been seen to come up
  # without the ports: a second start is given the chance before failing.
  local attempt
  for attempt in 1 2; do
    _e2e_ports_reg | _wine_env_import "$E2E_BUILD/$E2E_SESSION-serial/ports.reg" >"$E2E_LOGDIR/serial-ports.log" 2>&1
    _e2e_stop_server
    _e2e_block_com_ports || return 1
    _e2e_start_server
    # The device manager starts with the first program.
    wine cmd /c exit >/dev/null 2>&1 </dev/null
    _e2e_wait_paths 15 "${links[@]}" && return 0
    echo "wine-env: Wine did not map ${links[*]##*/} (start $attempt)" >&2
  done
  return 1
}

e2e_setup() {
  local build
  build=$(cd "$1" && pwd) || return 1
  export E2E_BUILD=$build
  export E2E_SESSION=${E2E_SESSION:-e2e}
  export E2E_LOGDIR=${E2E_LOGDIR:-$build/e2e-logs}
  export E2E_UIDRIVER=${E2E_UIDRIVER:-$build/tools/uidriver/uidriver.exe}
  mkdir -p "$E2E_LOGDIR" || return 1
  trap e2e_shutdown EXIT
  # Signals end the shell through exit, so the EXIT trap still cleans up.
  trap 'exit 129' HUP
  trap 'exit 130' INT
  trap 'exit 143' TERM
  _e2e_lock_session "$build/wineprefix-$E2E_SESSION.session.lock" || return 1
  wine_env_prefix "$build/wineprefix-$E2E_SESSION" desktop || return 1
  _e2e_end_leftovers
  _e2e_block_com_ports || return 1
  if [ -z "${DISPLAY:-}" ]; then
    _e2e_start_xvfb || return 1
  fi
  _e2e_start_server
}

# e2e_serial NAME COMn
e2e_serial() {
  local name=${1:-} port=${2:-} n dir=$E2E_BUILD/$E2E_SESSION-serial
  n=${port#COM}
  if [[ ! $name =~ ^[A-Za-z0-9_]+$ || ! $port =~ ^COM[1-9][0-9]?$ ]] || ((n > 32)); then
    echo "usage: e2e_serial NAME COM1..COM32" >&2
    return 2
  fi
  if ((BASH_SUBSHELL)); then
    echo "wine-env: e2e_serial must run in the test's own shell, not in \$(...)" >&2
    return 2
  fi
  if [ -n "${E2E_PIDS[serial-$name]:-}" ] || [ -n "${_e2e_com[$n]:-}" ]; then
    echo "wine-env: $name or $port is mapped already" >&2
    return 2
  fi
  mkdir -p "$dir" && rm -f "$dir/$name.win" "$dir/$name.sim" || return 1
  socat pty,raw,echo=0,link="$dir/$name.win" pty,raw,echo=0,link="$dir/$name.sim" \
    >"$E2E_LOGDIR/serial-$name.log" 2>&1 </dev/null &
  E2E_PIDS[serial-$name]=$!
  _e2e_remember $!
  if ! _e2e_wait_paths 10 "$dir/$name.win" "$dir/$name.sim"; then
    echo "wine-env: socat did not make the pty pair, see $E2E_LOGDIR/serial-$name.log" >&2
    return 1
  fi
  _e2e_com[$n]=$dir/$name.win
  _e2e_map_com_ports || return 1
  export "E2E_SERIAL_${name^^}=$dir/$name.sim"
  echo "$dir/$name.sim"
}

# e2e_wait NAME TIMEOUT_S: waits for a started program to end; returns its exit
# code, or 124 if it still runs after the timeout.
e2e_wait() {
  local pid=${E2E_PIDS[$1]:-} i rc
  [ -n "$pid" ] || { echo "wine-env: no program $1" >&2; return 2; }
  for ((i = 0; i < $2 * 10; i++)); do
    if ! kill -0 "$pid" 2>/dev/null; then
      wait "$pid"
      rc=$?
      unset 'E2E_PIDS[$1]'
      return $rc
    fi
    sleep 0.1
  done
  return 124
}

e2e_start() {
  local name=$1
  shift
  wine "$@" >"$E2E_LOGDIR/$name.out" 2>"$E2E_LOGDIR/$name.err" </dev/null &
  E2E_PIDS[$name]=$!
}

# Runs uidriver with its output in files, then passes it on; returns its exit
# code (0 done, 1 failed or timed out, 2 usage).
_e2e_ui_run() {
  local out err rc
  out=$(mktemp) && err=$(mktemp) || return 2
  wine "$E2E_UIDRIVER" "$@" >"$out" 2>"$err"
  rc=$?
  cat "$out"
  cat "$err" >&2
  rm -f "$out" "$err"
  return $rc
}

e2e_ui() { _e2e_ui_run "$@" </dev/null; }
e2e_ui_script() { _e2e_ui_run -; }

# e2e_msgbox WIN TIMEOUT_MS: waits for a message box of WIN's process and sets
# E2E_BOX (handle), E2E_BOX_CAPTION and E2E_BOX_TEXT (escaped as uidriver
# prints them), E2E_BOX_OWNER (the owner's handle, 0x0 for none) and
# E2E_BOX_ICON (information, warning, error, question, other or none).
# Split by hand: `read` would merge the tabs around an empty caption.
# shellcheck disable=SC2034  # results for the caller
e2e_msgbox() {
  local line rest
  line=$(e2e_ui msgbox "$1" "$2") || return
  line=${line%$'\r'}
  E2E_BOX=${line%%$'\t'*}
  rest=${line#*$'\t'}
  E2E_BOX_CAPTION=${rest%%$'\t'*}
  rest=${rest#*$'\t'}
  E2E_BOX_TEXT=${rest%%$'\t'*}
  rest=${rest#*$'\t'}
  E2E_BOX_OWNER=${rest%%$'\t'*}
  E2E_BOX_ICON=${rest#*$'\t'}
}

e2e_screenshot() {
  import -display "$DISPLAY" -window root "$1"
}

e2e_shutdown() {
  local name pid
  for name in "${!E2E_PIDS[@]}"; do
    pid=${E2E_PIDS[$name]}
    kill "$pid" 2>/dev/null
  done
  if [ -n "${WINEPREFIX:-}" ]; then
    wineserver -k >/dev/null 2>&1
  fi
  for name in "${!E2E_PIDS[@]}"; do
    wait "${E2E_PIDS[$name]}" 2>/dev/null
  done
  E2E_PIDS=()
  _e2e_com=()
  if [ -n "$_e2e_started_x" ]; then
    kill "$_e2e_started_x" 2>/dev/null
    wait "$_e2e_started_x" 2>/dev/null
    _e2e_started_x=""
    unset DISPLAY
  fi
  if [ -n "$_e2e_lock_holder" ]; then
    rm -f "$(_e2e_pidfile)"
    kill "$_e2e_lock_holder" 2>/dev/null
    wait "$_e2e_lock_holder" 2>/dev/null
    _e2e_lock_holder=""
  fi
}
