#!/usr/bin/env bash
# msi_install.sh SOURCE BUILD: the installer of scripts/package.sh under Wine,
# in a fresh prefix of its own (BUILD/package-e2e), in the zh_CN locale
# (ANSI code page 936, as on the users' Windows):
#
#   - msiexec /i /qn puts every file into Program Files\tagdesk, and each
#     program starts from there (its window appears; readersim and readerconf answer --help);
#   - the Start-menu folder holds one shortcut per GUI program, named in
#     Chinese, the older configuration tools in a subfolder;
#   - the uninstall entry names the product and its version;
#   - an installer of a higher version upgrades in place: one entry, the new
#     version, the files and shortcuts still there; the older one then
#     refuses to install over it;
#   - msiexec /x /qn removes every file, folder, shortcut, registry value and
#     the entry;
#   - in a Western locale (code page 1252) the names come out right too.
set -u
source=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)
# shellcheck source=../e2e/wine-env.sh
. "$source/tests/e2e/wine-env.sh"
# shellcheck source=../e2e/lib.sh
. "$source/tests/e2e/lib.sh"
# shellcheck source=../../packaging/msi.sh
. "$source/packaging/msi.sh"

version=$(cat "$build/programInfo/version.txt")
name=tagdesk-$version-win64
msi=$source/dist/$name.msi
# 77: ctest's SKIP_RETURN_CODE.
[ -f "$msi" ] || { echo "$msi is missing: run bash scripts/package.sh first"; exit 77; }
IFS=. read -r major minor patch <<<"$version"
higher=$major.$minor.$((patch + 1))

session=$build/package-e2e
rm -rf "$session"
mkdir -p "$session"
export E2E_LOGDIR=$build/e2e-logs/package_msi
export E2E_UIDRIVER=$build/tools/uidriver/uidriver.exe
rm -rf "$E2E_LOGDIR"
zh_locale_env "$build/package/locale" || exit 1
e2e_setup "$session" || exit 1
drive=$WINEPREFIX/drive_c
installed=$drive/Program\ Files/tagdesk
menu_name=有源RFID读卡器工具

# GUI programs: file name, then the class of its main window.
programs=(
  tagdesk-listen.exe:TAGDESKTEST tagdesk-connect.exe:TAGDESKTEST tagdesk-legacy.exe:TAGDESKTEST
  readersetup.exe:readerSetupKit readersetup-v3.5.exe:readerSetupKit
  readersetup-v3.3.exe:readerSetupKit readersetup-v3.0.exe:readerSetupKit
  rssifilter.exe:CORVOLINKSDK_DEMO r7a-setup.exe:CORVOLINKSDK_DEMO
)
# The shortcuts below the Start-menu folder, sorted.
expected_shortcuts=$(printf '%s\n' \
  "R7A测试工具.lnk" "R7A设置工具.lnk" "RSSI阈值设置工具.lnk" "旧版配置工具/网络读卡器配置工具 V3.0.lnk" \
  "旧版配置工具/网络读卡器配置工具 V3.3.lnk" "旧版配置工具/网络读卡器配置工具 V3.5.lnk" \
  "监听测试工具.lnk" "网络读卡器配置工具 V3.6.lnk" "连接测试工具.lnk" | LC_ALL=C sort)

msiexec() {  # ACTION MSI [LOCALE]: msiexec /ACTION MSI /qn in the locale; its exit code
  local locale=${3:-zh_CN.UTF-8}
  LC_ALL=$locale wine msiexec "/$1" "$(winepath -w "$2" 2>/dev/null)" /qn \
    >>"$E2E_LOGDIR/msiexec.out" 2>&1 </dev/null
}

# The Start-menu folder: the machine's one; Wine 8 puts a per-machine
# install's shortcuts into the user's folder.
menu_folder() {
  local d
  for d in "$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/$menu_name" \
           "$drive"/users/*/AppData/Roaming/Microsoft/Windows/Start\ Menu/Programs/"$menu_name"; do
    [ -d "$d" ] && { echo "$d"; return 0; }
  done
  return 1
}

shortcuts() {
  local folder
  folder=$(menu_folder) || return 0
  (cd "$folder" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
}

# Uninstall entries of the product: "DisplayName|DisplayVersion", one a line.
uninstall_entries() {
  local reg=$E2E_LOGDIR/uninstall.reg
  rm -f "$reg"
  wine regedit /e "$(winepath -w "$reg" 2>/dev/null)" \
    'HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall' >/dev/null 2>&1 </dev/null
  [ -f "$reg" ] || return 0
  iconv -f UTF-16 -t UTF-8 "$reg" | tr -d '\r' | awk -F'"' '
    /^\[/ { if (n != "") print n "|" v; n = ""; v = "" }
    /^"DisplayName"=/ { if ($4 ~ /^tagdesk/) n = $4 }
    /^"DisplayVersion"=/ { v = $4 }
    END { if (n != "") print n "|" v }'
}

installed_files() {
  [ -d "$installed" ] || return 0
  (cd "$installed" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
}
staged_files=$(cd "$build/package/$name" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)

# --- install ---
msiexec i "$msi"
expect_eq "msiexec /i exit code" "$?" 0
expect_eq "the installed files are the package's" "$(installed_files)" "$staged_files"
expect_eq "the shortcuts" "$(shortcuts)" "$expected_shortcuts"
folder=$(menu_folder)
for entry in "${programs[@]}"; do
  exe=${entry%%:*}
  # The shortcut names its program (the target path is in the link).
  lnk=$(grep -l -a -F "$exe" "$folder"/*.lnk "$folder"/*/*.lnk 2>/dev/null | head -1)
  [ -n "$lnk" ] || fail "no shortcut targets $exe"
done
expect_eq "the uninstall entry" "$(uninstall_entries)" "tagdesk 有源RFID读卡器工具|$version"

# Each program from its installed path: its window appears.
for entry in "${programs[@]}"; do
  exe=${entry%%:*}
  class=${entry#*:}
  e2e_start "${exe%.exe}" "C:\\Program Files\\tagdesk\\$exe"
  if win=$(e2e_ui wait-window "$class" 20000 | tr -d '\r'); then
    echo "ok: $exe starts from Program Files ($(e2e_ui get-text "$win" . | tr -d '\r'))"
    e2e_ui close "$win" >/dev/null || fail "$exe does not close"
  else
    fail "$exe: no window"
  fi
  e2e_wait "${exe%.exe}" 10 >/dev/null
done
# The command-line programs answer --help.
for tool in readersim readerconf; do
  e2e_start $tool "C:\\Program Files\\tagdesk\\$tool.exe" --help
  e2e_wait $tool 20
  expect_eq "$tool.exe --help from Program Files" "$?" 0
  grep -q $tool "$E2E_LOGDIR/$tool.out" || fail "$tool.exe printed no help"
done

# --- upgrade in place ---
msi_build "$build/package" "$name" "$higher" "$session/tagdesk-$higher-win64.msi" \
  >"$E2E_LOGDIR/wixl.log" 2>&1 || fail "cannot build the $higher installer"
msiexec i "$session/tagdesk-$higher-win64.msi"
expect_eq "upgrade: msiexec /i exit code" "$?" 0
expect_eq "upgrade: one uninstall entry, the new version" "$(uninstall_entries)" \
  "tagdesk 有源RFID读卡器工具|$higher"
expect_eq "upgrade: the files" "$(installed_files)" "$staged_files"
expect_eq "upgrade: the shortcuts" "$(shortcuts)" "$expected_shortcuts"

# An older installer does not replace a newer one.
msiexec i "$msi"
[ "$?" -ne 0 ] || fail "downgrade: msiexec /i of $version over $higher succeeded"
expect_eq "downgrade: the newer one stays" "$(uninstall_entries)" "tagdesk 有源RFID读卡器工具|$higher"

# --- uninstall ---
msiexec x "$session/tagdesk-$higher-win64.msi"
expect_eq "msiexec /x exit code" "$?" 0
expect_eq "uninstall: no file left" "$(installed_files)" ""
[ -d "$installed" ] && fail "uninstall: Program Files\\tagdesk is left"
expect_eq "uninstall: no shortcut left" "$(shortcuts)" ""
menu_folder >/dev/null && fail "uninstall: the Start-menu folder is left"
expect_eq "uninstall: no entry left" "$(uninstall_entries)" ""
wine reg query 'HKLM\Software\tagdesk' >/dev/null 2>&1 </dev/null &&
  fail "uninstall: HKLM\Software\tagdesk is left"

# --- the names in a Western locale ---
msiexec i "$msi" C.UTF-8
expect_eq "code page 1252: msiexec /i exit code" "$?" 0
expect_eq "code page 1252: the shortcuts" "$(shortcuts)" "$expected_shortcuts"
expect_eq "code page 1252: the uninstall entry" "$(uninstall_entries)" "tagdesk 有源RFID读卡器工具|$version"
msiexec x "$msi" C.UTF-8
expect_eq "code page 1252: nothing left" "$(installed_files)$(shortcuts)$(uninstall_entries)" ""

e2e_finish
