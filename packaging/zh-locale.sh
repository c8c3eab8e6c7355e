# The zh_CN.UTF-8 locale for wixl and for Wine. Source it, do not run it.
#
#   zh_locale_env DIR   export LC_ALL=zh_CN.UTF-8; where the system lacks the
#                       locale, compile it into DIR with localedef (package
#                       "locales") and export LOCPATH=DIR
#
# wixl stores the installer's strings in the ANSI code page of the locale's
# Windows language (WINDOWS_LANGUAGE, read by libgsf), and Wine takes its
# ANSI code page (936 for zh_CN) from the locale.
zh_locale_env() {
  local dir=$1
  if ! locale -a 2>/dev/null | grep -qix 'zh_CN\.utf-\?8'; then
    if [ ! -f "$dir/zh_CN.UTF-8/LC_CTYPE" ]; then
      mkdir -p "$dir"
      localedef -i zh_CN -f UTF-8 "$dir/zh_CN.UTF-8" >/dev/null 2>&1 || true
      [ -f "$dir/zh_CN.UTF-8/LC_CTYPE" ] || {
        echo "zh_locale_env: cannot compile the zh_CN.UTF-8 locale into $dir (package locales)" >&2
        return 1
      }
    fi
    export LOCPATH=$dir
  fi
  # (bash itself warns when it cannot switch, as it does not read LOCPATH)
  export LC_ALL=zh_CN.UTF-8 2>/dev/null
}
