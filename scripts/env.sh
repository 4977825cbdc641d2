# Shared settings of the scripts: sourced, not run.
VORLIN_REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export VORLIN_BUILD=${VORLIN_BUILD:-$VORLIN_REPO/build}
export WINEPREFIX=${WINEPREFIX_VORLIN:-$VORLIN_BUILD/wineprefix}
export WINEARCH=win64
# The English prefix (code page 1252) for the test that proves the texts do
# not depend on the system's code page; a test runs in it by naming it in
# WINEPREFIX_VORLIN and its locale in VORLIN_LANG.
export VORLIN_PREFIX_EN=$VORLIN_BUILD/wineprefix-en
export LANG=${VORLIN_LANG:-ja_JP.UTF-8}
export LC_ALL=$LANG
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installer prompts in a fresh prefix.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# Virtual port pairs live here (see scripts/vports).
export VORLIN_PORTS_DIR=$VORLIN_BUILD/vports
# The modem-line library is loaded into Wine processes when it has been built.
VORLIN_MODEM_LIB=$VORLIN_BUILD/host/libvmodem.so
