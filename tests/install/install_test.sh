#!/usr/bin/env bash
# Installs into a temporary prefix and starts the installed launcher under Xvfb with an empty home: the data
# folder is made, the ledger is created in it, and the help is where the program looks for it first.
#   install_test.sh BUILD_DIR
set -euo pipefail
build=$1
prefix=$(mktemp -d)
home=$(mktemp -d)
trap 'kill -- -"${group:-0}" 2>/dev/null || true; rm -rf "$prefix" "$home"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

desktop-file-validate "$prefix/share/applications/io.github.tsumotto.tsumotto.desktop"
appstreamcli validate --no-net "$prefix/share/metainfo/io.github.tsumotto.tsumotto.metainfo.xml" >/dev/null
# The program looks for a bare help file name beside its bin folder first.
test -s "$prefix/bin/../share/tsumotto/kzHelp.chm"

env -u XDG_DATA_HOME HOME="$home" QT_QPA_PLATFORM=xcb setsid "$(dirname "$0")/../support/with-xvfb.sh" \
    "$prefix/bin/tsumotto-launcher" >/dev/null 2>&1 &
group=$!
ledger="$home/.local/share/tsumotto/テーマ１.txt"
# Waits on the program, not on the clock: it makes the ledger, or it ends.
while [ ! -e "$ledger" ]; do
    kill -0 "$group" 2>/dev/null || { echo "the installed launcher ended without making the ledger" >&2; exit 1; }
    sleep 0.2
done
test -f "$ledger" || { echo "the ledger in the data folder is not a file" >&2; exit 1; }
test ! -s "$ledger"
# The folder is locked by the kernel for the program's life: no lock file is left in it.
test ! -e "$home/.local/share/tsumotto/.tsumotto.lock"
echo "installed launcher made $home/.local/share/tsumotto and an empty ledger in it"
