#!/usr/bin/env bash
# Makes docs/wireshark.png: readersim logs in to listenhost and reports one
# tag while it writes a capture, which Wireshark shows with the plugin on a
# virtual display, the tag report selected and its tree expanded.
# Needs a native build (build/) and the packages wireshark-qt, xdotool, xvfb
# and imagemagick. Run from anywhere; paths are the repository's.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

build/listenhost --port 18801 --seconds 3 >/dev/null &
sleep 0.3
build/tools/readersim/readersim listen --server 127.0.0.1:18801 --duration 1 --tick-ms 400 \
  --tags 1 --first-tag 100100 --states 0,1,3 --rssi -35 --pcap "$work/capture.pcap" >/dev/null
wait

# A fresh profile: the main window fills the screen.
mkdir -p "$work/home/.config/wireshark" "$work/xdg"
chmod 700 "$work/xdg"
cat >"$work/home/.config/wireshark/recent" <<'RECENT'
gui.geometry_main_x: 0
gui.geometry_main_y: 0
gui.geometry_main_width: 1280
gui.geometry_main_height: 860
gui.geometry_main_maximized: TRUE
gui.geometry_main_upper_pane: 230
gui.geometry_main_lower_pane: 470
RECENT

cat >"$work/show.sh" <<SHOW
#!/usr/bin/env bash
export HOME="$work/home" XDG_RUNTIME_DIR="$work/xdg"
wireshark -X lua_script:"$root/tools/wireshark/tagdesk.lua" -r "$work/capture.pcap" -g 7 >/dev/null 2>&1 &
pid=\$!
sleep 10
win=\$(xdotool search --onlyvisible --name "capture.pcap" | head -1)
xdotool windowsize "\$win" 1280 860
xdotool windowmove "\$win" 0 0
sleep 1
xdotool mousemove 150 433 click 1   # the "Tag desk network frame" line
sleep 0.5
xdotool key shift+Right              # expand its subtrees
sleep 1
import -window root "$work/shot.png"
kill \$pid
SHOW
chmod +x "$work/show.sh"
xvfb-run -a -s "-screen 0 1280x860x24" "$work/show.sh"
convert "$work/shot.png" -colors 128 PNG8:docs/wireshark.png
echo "wrote docs/wireshark.png"
