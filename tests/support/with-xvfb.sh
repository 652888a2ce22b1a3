#!/usr/bin/env bash
# Runs a command under an X server of its own. Xvfb picks a free display itself (-displayfd), so that any
# number of these can run at once, unlike xvfb-run -a, which picks one by trying.
#   with-xvfb.sh COMMAND [ARG...]
# TSUMOTTO_XVFB_SCREEN sets the screen (1024x768x24 unless set), room for windows drawn at a larger scale.
set -euo pipefail
work=$(mktemp -d)
server=
cleanup() {
    [ -z "$server" ] || kill "$server" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
# -noreset: an X server resets when its last client leaves, and a client that connects just then is refused or
# cut off (as when a helper such as the AT-SPI bus launcher opens the display and closes it again).
Xvfb -displayfd 3 -noreset -screen 0 "${TSUMOTTO_XVFB_SCREEN:-1024x768x24}" -nolisten tcp 3>"$work/display" 2>"$work/log" &
server=$!
# Until the server has written its display number, or has ended.
while ! grep -q '[0-9]' "$work/display" 2>/dev/null; do
    kill -0 "$server" 2>/dev/null || { cat "$work/log" >&2; echo "Xvfb did not start" >&2; exit 1; }
    sleep 0.05
done
export DISPLAY=":$(head -1 "$work/display")"
"$@"
