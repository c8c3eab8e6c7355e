# Building the Windows installer with wixl. Source it, do not run it
# (scripts/package.sh and the package tests do).
#
#   zh_locale_env DIR   export LC_ALL=zh_CN.UTF-8; where the system lacks the
#                       locale, compile it into DIR with localedef (package
#                       "locales") and export LOCPATH=DIR
#   msi_build WORK STAGE VERSION OUTPUT
#                       build OUTPUT (an absolute path) from packaging/tagdesk.wxs
#                       and the files of WORK/STAGE, as version VERSION
#
# wixl stores the installer's strings in the ANSI code page of its locale's
# Windows language (WINDOWS_LANGUAGE, read by libgsf); in any other locale
# it drops the Chinese names. Wine takes its ANSI code page (936 for zh_CN)
# from the locale as well.

_msi_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

zh_locale_env() {
  local dir=$1
  if ! locale -a 2>/dev/null | grep -qix 'zh_CN\.utf-\?8'; then
    if [ ! -f "$dir/zh_CN.UTF-8/LC_CTYPE" ]; then
      mkdir -p "$dir"
      localedef -i zh_CN -f UTF-8 "$dir/zh_CN.UTF-8" >/dev/null 2>&1 || true
      if [ ! -f "$dir/zh_CN.UTF-8/LC_CTYPE" ]; then
        echo "zh_locale_env: cannot compile the zh_CN.UTF-8 locale into $dir (package locales)" >&2
        return 1
      fi
    fi
    export LOCPATH=$dir
  fi
  # bash warns that it cannot switch: it read LOCPATH at its own start.
  export LC_ALL=zh_CN.UTF-8 2>/dev/null
}

msi_build() (
  local work=$1 stage=$2 version=$3 output=$4
  set -e
  zh_locale_env "$work/locale"
  export WINDOWS_LANGUAGE=zh_CN
  cd "$work"
  # Every file of the staging folder, as component group AppFiles.
  (cd "$stage" && find . -type f | sed 's|^\./||' | LC_ALL=C sort |
     wixl-heat -p "" --var var.StageDir --component-group AppFiles --directory-ref INSTALLDIR --win64) \
    >files.wxs
  # The folders that the files make, deepest first, removed when empty at
  # uninstall (Windows Installer removes only those a component names).
  {
    echo '<?xml version="1.0" encoding="utf-8"?>'
    echo '<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi"><Fragment>'
    echo '<DirectoryRef Id="INSTALLDIR">'
    echo '<Component Id="AppFolders" Guid="8DDA7E32-AD27-4962-A325-A12EA6D7E0AC" Win64="yes">'
    sed -n 's/.*<Directory Id="\([^"]*\)" Name="[^".][^"]*".*/\1/p' files.wxs | tac |
      sed 's|.*|<RemoveFolder Id="rm_&" Directory="&" On="uninstall"/>|'
    echo '<RemoveFolder Id="rm_INSTALLDIR" Directory="INSTALLDIR" On="uninstall"/>'
    echo '<RegistryValue Root="HKLM" Key="Software\tagdesk" Name="AppFolders" Type="integer" Value="1" KeyPath="yes"/>'
    echo '</Component></DirectoryRef></Fragment></Wix>'
  } >folders.wxs
  rm -f "$output"
  # wixl takes the sources' paths relative to the working folder.
  wixl -a x64 -D Version="$version" -D StageDir="$stage" -D Win64=yes \
    -o "$output" "$_msi_dir/tagdesk.wxs" files.wxs folders.wxs
  # wixl leaves the database's code page neutral, so Windows would read the
  # names in the machine's ANSI code page: garbled unless that is 936.
  /usr/bin/python3 "$_msi_dir/msicodepage.py" "$output" 936
)
