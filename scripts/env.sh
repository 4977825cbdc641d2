# Shared settings of the scripts: sourced, not run.
VORLIN_REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export VORLIN_BUILD=${VORLIN_BUILD:-$VORLIN_REPO/build}
export WINEPREFIX=${WINEPREFIX_VORLIN:-$VORLIN_BUILD/wineprefix}
export WINEARCH=win64
# The English prefix (code page 1252) for the test that proves the texts do
# not depend on the system's code page; a test runs in it by naming it in
# WINEPREFIX_VORLIN and its locale in VORLIN_LANG.
export VORLIN_PREFIX_EN=$VORLIN_BUILD/wineprefix-en
# The project's locale once it exists. Until scripts/setup has made it, the
# neutral C.UTF-8 stands in, so that no shell, Perl or apt step of a fresh
# machine warns about a missing locale; the scripts call this again after setup.
vorlin_locale() {
  local want=${VORLIN_LANG:-ja_JP.UTF-8}
  if locale -a 2>/dev/null | grep -qix "${want%%.*}\.utf-\?8"; then
    export LANG=$want LC_ALL=$want
  else
    export LANG=C.UTF-8 LC_ALL=C.UTF-8
  fi
}
vorlin_locale
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installer prompts in a fresh prefix.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# Virtual port pairs live here (see scripts/vports).
export VORLIN_PORTS_DIR=$VORLIN_BUILD/vports
# The modem-line library is loaded into Wine processes when it has been built.
VORLIN_MODEM_LIB=$VORLIN_BUILD/host/libvmodem.so
