#!/usr/bin/env bash
# A fresh Wine prefix (WINEPREFIX) for one run of the windows tier, made without a display.
# Mono and Gecko are left out (WINEDLLOVERRIDES): nothing here needs them, and Wine would
# otherwise offer to download them.
set -euo pipefail
fail() { echo "wineprefix: $*" >&2; exit 1; }
[ -n "${WINEPREFIX:-}" ] || fail "WINEPREFIX is not set; run the tier through scripts/test-windows"
for tool in wine wineboot wineserver; do
  command -v "$tool" >/dev/null 2>&1 || fail "$tool is missing (Debian packages wine and wine64); run scripts/setup-windows"
done
wineserver -k >/dev/null 2>&1 || true
rm -rf "$WINEPREFIX"
mkdir -p "$(dirname "$WINEPREFIX")"
log=$WINEPREFIX.log
start=$(date +%s%N)
if ! env -u DISPLAY wineboot --init >"$log" 2>&1 || ! wineserver -w; then
  cat "$log" >&2
  fail "wineboot could not make the prefix $WINEPREFIX"
fi
[ -f "$WINEPREFIX/system.reg" ] || { cat "$log" >&2; fail "wineboot left no registry in $WINEPREFIX"; }
echo "wineprefix: $WINEPREFIX made in $(( ($(date +%s%N) - start) / 1000000 )) ms"
