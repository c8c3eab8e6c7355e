# Assertions and console helpers shared by the end-to-end scenarios.
# Source after wine-env.sh; the scenario sets WIN to the console window.

E2E_FAILURES=0

fail() {
  echo "FAIL: $*" >&2
  E2E_FAILURES=$((E2E_FAILURES + 1))
}

expect_eq() {  # WHAT ACTUAL EXPECTED
  if [ "$2" == "$3" ]; then
    echo "ok: $1"
  else
    fail "$1: got [$2], expected [$3]"
  fi
}

ui() { e2e_ui "$@" | tr -d '\r'; }
text_of() { ui get-text "$WIN" "$1"; }

# Waits up to TIMEOUT_MS for control CTRL to read TEXT.
expect_text() {  # WHAT CTRL TEXT TIMEOUT_MS
  if e2e_ui wait-text "$WIN" "$2" "$3" "$4" >/dev/null; then
    echo "ok: $1"
  else
    fail "$1: control $2 reads [$(text_of "$2")], expected [$3]"
  fi
}

# The two styles of the programs' message boxes, checked on the box that
# e2e_msgbox found: owned by the program's window WIN; no caption with the
# information icon, or the caption "提示" with NOTICE_ICON (none in the
# consoles, where it is a plain OK box; the serial tools show it with the
# information icon and set NOTICE_ICON=information).
expect_box_style() {  # WHAT CAPTION
  local icon=information
  [ -n "$2" ] && icon=${NOTICE_ICON:-none}
  expect_eq "$1 (owner)" "$E2E_BOX_OWNER" "$WIN"
  expect_eq "$1 (icon)" "$E2E_BOX_ICON" "$icon"
}

# Presses CTRL, expects one message box with CAPTION and TEXT, answers it.
expect_message() {  # WHAT CTRL CAPTION TEXT
  ui click "$WIN" "$2" >/dev/null
  if ! e2e_msgbox "$WIN" 5000; then
    fail "$1: no message box"
    return
  fi
  expect_eq "$1 (caption)" "$E2E_BOX_CAPTION" "$3"
  expect_eq "$1 (text)" "$E2E_BOX_TEXT" "$4"
  expect_box_style "$1" "$3"
  ui answer "$E2E_BOX" >/dev/null
  e2e_ui wait-gone "$E2E_BOX" 5000 >/dev/null
}

# Grid data row R (1..12): the seven cell ids.
grid_row_ids() {
  case $1 in
    1) echo 1088,1089,1107-1111 ;;
    2) echo 1112,1182,1113-1117 ;;
    3) echo 1118,1183,1119-1123 ;;
    12) echo 1172,1192,1173-1177 ;;
    *) echo "grid_row_ids: row $1 not mapped" >&2; return 1 ;;
  esac
}

# The row's cells joined by "|".
grid_row() { ui texts "$WIN" "$(grid_row_ids "$1")" | paste -sd'|'; }

# Waits until a grid row matches an extended regular expression.
expect_row() {  # WHAT ROW REGEX TIMEOUT_S
  local i row
  for ((i = 0; i < $4 * 4; i++)); do
    row=$(grid_row "$2")
    if [[ $row =~ $3 ]]; then
      echo "ok: $1"
      return
    fi
    sleep 0.25
  done
  fail "$1: row $2 is [$row], expected /$3/"
}

# Waits until a file has a line matching a regular expression.
wait_line() {  # FILE REGEX TIMEOUT_S
  local i
  for ((i = 0; i < $3 * 4; i++)); do
    tr -d '\r' 2>/dev/null <"$1" | grep -Eq "$2" && return 0
    sleep 0.25
  done
  return 1
}

e2e_finish() {
  if [ "$E2E_FAILURES" -ne 0 ]; then
    echo "$E2E_FAILURES check(s) failed; logs in $E2E_LOGDIR" >&2
    exit 1
  fi
  echo "all checks passed"
}

# The native software reader of the serial scenarios (their COM ports end in
# Linux ptys): $READERSIM when set (the test script sets it to the fresh
# native build), else the one of BUILD_DIR/native-tools, built or brought up
# to date here from this source tree. Prints its path.
native_readersim() {  # BUILD_DIR
  if [ -n "${READERSIM:-}" ]; then
    echo "$READERSIM"
    return
  fi
  local src tools=$1/native-tools
  src=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
  echo "bringing the native readersim in $tools up to date" >&2
  env -u CC -u CXX cmake -S "$src" -B "$tools" -DCMAKE_BUILD_TYPE=Release \
    -DTAGDESK_TESTS=OFF -DTAGDESK_BENCH=OFF >/dev/null &&
    cmake --build "$tools" --target readersim -j2 >/dev/null || return 1
  echo "$tools/tools/readersim/readersim"
}

# serial_reader NAME COMn OPTIONS...: maps COMn to a new pty pair and serves
# it with `$sim serial` (native_readersim) and OPTIONS; the reader's lines go
# to $E2E_LOGDIR/NAME.out. Call it in the test's own shell, before the tool
# starts (as e2e_serial).
serial_reader() {
  local name=$1 port=$2 path
  shift 2
  e2e_serial "$name" "$port" >/dev/null || exit 1
  path=E2E_SERIAL_${name^^}
  "$sim" serial --device "${!path}" --print-sent --pcap "$E2E_LOGDIR/$name.pcap" "$@" \
    >"$E2E_LOGDIR/$name.out" 2>"$E2E_LOGDIR/$name.err" </dev/null &
  E2E_PIDS[reader-$name]=$!
  wait_line "$E2E_LOGDIR/$name.out" '^# readersim mode=serial' 5 ||
    { echo "reader $name did not start" >&2; exit 1; }
}

# Waits for the next message box of WIN's process, checks its caption and
# text, and answers it.
expect_box() {  # WHAT CAPTION TEXT TIMEOUT_MS
  if ! e2e_msgbox "$WIN" "$4"; then
    fail "$1: no message box"
    return
  fi
  expect_eq "$1 (caption)" "$E2E_BOX_CAPTION" "$2"
  expect_eq "$1 (text)" "$E2E_BOX_TEXT" "$3"
  expect_box_style "$1" "$2"
  ui answer "$E2E_BOX" >/dev/null
  e2e_ui wait-gone "$E2E_BOX" 5000 >/dev/null
}

# The configuration tool's port choice: picks item INDEX of list 1001 (in
# the order the list shows) and presses 1002.
open_port() {  # INDEX
  ui select "$WIN" 1001 "$1" >/dev/null || fail "cannot select port item $1"
  ui click "$WIN" 1002 >/dev/null
}


# The main window as every program marks it: its property NAME set to 1, and
# its caption showing the program's own icon resources ICONS ("102 103").
expect_identity() {  # NAME ICONS
  expect_eq "window property $1" "$(ui prop "$WIN" "$1")" "1"
  expect_eq "caption icon from the program's resources" "$(ui icon "$WIN")" "$2"
}

# The screen position and size of a window WIDTH x HEIGHT centred on the
# Wine desktop: left top width height.
centred() {  # WIDTH HEIGHT
  local screen_w=${E2E_DESKTOP_SIZE%x*} screen_h=${E2E_DESKTOP_SIZE#*x}
  echo "$(((screen_w - $1) / 2)) $(((screen_h - $2) / 2)) $1 $2"
}

# Alt+KEY, typed into the console, opens the about box; OK closes it, or
# with "esc" the Esc key (Cancel).
expect_about() {  # KEY [esc]
  local about how=OK
  ui key "$WIN" "alt+$1" >/dev/null
  if ! about=$(ui wait-window ':关于 tagDeskTest' 5000); then
    fail "Alt+$1 opened no about box"
    return
  fi
  expect_eq "about box by Alt+$1" "$(ui texts "$about" 0xFFFF 1 | paste -sd' ')" "tagDeskTest，1.0 版 确定"
  expect_eq "the console waits for the about box" "$(ui enabled "$WIN" .)" "0"
  if [ "${2:-}" = esc ]; then
    how=Esc
    ui key "$about" esc >/dev/null
  else
    ui click "$about" 1 >/dev/null
  fi
  if e2e_ui wait-gone "$about" 3000 >/dev/null; then echo "ok: $how closes the about box"; else fail "$how leaves the about box open"; fi
}

# The details dialog DETAILS of the console WIN: centred over the console and
# then one pixel wider and higher than its resource makes it (the resource's
# size is measured by creating it in uidriver), the list view's rectangle
# LIST ("x y width height" in the dialog), the column headers and widths
# COLUMNS ("序号 50/分站号 70/..."), and an empty list until the first refresh.
expect_details_layout() {  # DETAILS LIST COLUMNS
  local w h left top main_w main_h
  expect_eq "details list empty until its first refresh" "$(ui list-items "$1" SysListView32)" ""
  read -r w h <<<"$(ui dialog-size "$WIN" 135)"
  read -r left top main_w main_h <<<"$(ui rect "$WIN")"
  expect_eq "details centred over the console, one pixel larger" "$(ui rect "$1")" \
    "$((left + (main_w - w) / 2)) $((top + (main_h - h) / 2)) $((w + 1)) $((h + 1))"
  expect_eq "details list rectangle" "$(ui rect "$1" SysListView32)" "$2"
  expect_eq "details columns" "$(ui list-columns "$1" SysListView32 | paste -sd/)" "$3"
  expect_eq "the console waits for the details" "$(ui enabled "$WIN" .)" "0"
}

# Captures: every software reader of a scenario writes what it sends and
# receives (--pcap), and the Wireshark plugin must decode all of it.
E2E_DISSECTOR=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/tools/wireshark/tagdesk.lua

# The --pcap argument of readersim.exe under Wine for $E2E_LOGDIR/NAME.pcap:
# the Linux path seen through drive Z:.
wine_pcap() {  # NAME
  local path=$E2E_LOGDIR/$1.pcap
  echo "Z:${path//\//\\}"
}

# tshark with the plugin over a capture: one line per packet, the FIELDS
# separated by tabs, several occurrences in a packet joined by commas. The
# heuristic goes first, so the magic decides whatever the ports.
capture_fields() {  # PCAP FIELD...
  local pcap=$1 args=() f
  shift
  for f in "$@"; do args+=(-e "$f"); done
  tshark -n -X lua_script:"$E2E_DISSECTOR" -o udp.try_heuristic_first:TRUE -r "$pcap" \
    -T fields -E occurrence=a -E aggregator=, "${args[@]}" 2>"$pcap.err"
}

# Decodes the capture of a reader whose frame lines (rx, and tx with
# --print-sent) are in LOG: the codes in the capture are the codes of the
# log, and every frame decodes as DIALECT of PROTO (tagnet or tagserial)
# with a good CRC.
expect_capture() {  # WHAT PCAP LOG PROTO DIALECT
  local frames want got
  if ! command -v tshark >/dev/null; then
    echo "skip: $1 (no tshark)"
    return
  fi
  if ! frames=$(capture_fields "$2" "$4.dialect" "$4.code" "$4.crc.status"); then
    fail "$1: tshark cannot read the capture: $(grep -v 'Running as user' "$2.err")"
    return
  fi
  frames=$(awk -F'\t' '{ n = split($1, d, ","); split($2, c, ","); split($3, s, ",")
                         for (i = 1; i <= n; i++) print d[i], c[i], s[i] }' <<<"$frames")
  want=$(tr -d '\r' <"$3" | sed -nE 's/^(rx|tx) ([a-z]+=[^ ]* )*code=0x([0-9A-F]{2}) .*/0x\3/p' |
    tr A-F a-f | sort -u | paste -sd' ')
  got=$(cut -d' ' -f2 <<<"$frames" | grep . | sort -u | paste -sd' ')
  expect_eq "$1: codes ${want:-none}, as in the log" "$got" "$want"
  expect_eq "$1: frames not $5 or with a bad CRC" \
    "$(grep -v "^$5 0x[0-9a-f]* 1\$" <<<"$frames" | grep . | sort | uniq -c | paste -sd';')" ""
}

# The distinct values of FIELD in a capture, in order of first sight.
capture_values() {  # PCAP FIELD
  capture_fields "$1" "$2" | tr ',' '\n' | grep . | awk '!seen[$0]++' | paste -sd' '
}

# The distinct values of each of FIELDS (blank separated) in a capture,
# joined by "/", against EXPECTED.
expect_capture_values() {  # WHAT PCAP FIELDS EXPECTED
  local f got=()
  command -v tshark >/dev/null || return 0
  for f in $3; do got+=("$(capture_values "$2" "$f")"); done
  expect_eq "$1" "$(IFS=/; echo "${got[*]}")" "$4"
}

# expect_capture for every reader that serial_reader started.
expect_serial_captures() {  # DIALECT
  local name
  for name in "${!E2E_PIDS[@]}"; do
    [[ $name == reader-* ]] || continue
    name=${name#reader-}
    expect_capture "capture of reader $name" "$E2E_LOGDIR/$name.pcap" "$E2E_LOGDIR/$name.out" tagserial "$1"
  done
}
