#!/usr/bin/env bash
# Installs the built package into a fresh minimal Debian 12 tree that holds nothing but what the package
# depends on, and starts the installed program there by the command of its desktop entry, as the desktop menu
# does, on an Xvfb display outside the tree: its main window must appear, and its data folder be made.
#   debian_install_test.sh DEB
# The tree comes from the Debian 12 mirrors apt uses on this machine. The packages it downloads are kept in
# ${XDG_CACHE_HOME:-~/.cache}/tsumotto/debian-archives (or $TSUMOTTO_DEBIAN_CACHE) for the next run.
# Run as root it uses chroot; otherwise mmdebstrap's unshare mode, which needs the uidmap package and subuid
# ranges for the user.
set -euo pipefail

if [ "${1:-}" = --inside ]; then
    # mmdebstrap's customize hook: $2 is the tree, with the package installed.
    root=$2
    home=/tmp/home
    mkdir -p "$root$home"
    read -ra command <<<"$(sed -n 's/^Exec=//p' "$root/usr/share/applications/io.github.tsumotto.tsumotto.desktop")"
    chroot "$root" env -i PATH=/usr/bin:/bin HOME=$home LANG=C.UTF-8 DISPLAY="$DISPLAY" QT_QPA_PLATFORM=xcb \
        "${command[@]}" >"$TEST_WORK/program.log" 2>&1 &
    program=$!
    # Waits on what the program does, not on the clock: either the window appears or the program ends. With an
    # empty ledger the welcome window comes over the main window.
    shown() {
        local window=
        while [ -z "$window" ]; do
            if ! kill -0 "$program" 2>/dev/null; then
                cat "$TEST_WORK/program.log" >&2
                echo "the installed program ended before its window 「$1」 appeared" >&2
                exit 1
            fi
            window=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1) || true
            [ -n "$window" ] || sleep 0.2
        done
        xwininfo -id "$window" >"$TEST_WORK/window.txt"
        grep -q 'Map State: IsViewable' "$TEST_WORK/window.txt"
        awk -v title="$1" '/Width:/ {w = $2} /Height:/ {h = $2} END {print "window 「" title "」 shown, " w "x" h}' \
            "$TEST_WORK/window.txt"
    }
    shown ツモっと貯めよう！
    shown ツモっと始めてみよう！
    kill "$program"
    wait "$program" || true
    data=$home/.local/share/tsumotto
    test -f "$root$data/テーマ１.txt" || { echo "no ledger in the data folder $data" >&2; exit 1; }
    echo "ledger made in the data folder $data"

    # Only the package's Depends came in, none of what it recommends.
    for p in fcitx5-frontend-qt6 ibus xdg-utils; do
        if chroot "$root" dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
            echo "$p is installed, though the package only recommends it" >&2
            exit 1
        fi
    done
    chroot "$root" dpkg-query -W -f='${Package}\n' >"$TEST_WORK/after.txt"
    exit 0
fi

deb=$(readlink -f "$1")
self=$(readlink -f "${BASH_SOURCE[0]}")
cache=${TSUMOTTO_DEBIAN_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tsumotto/debian-archives}
mkdir -p "$cache"
TEST_WORK=$(mktemp -d)
export TEST_WORK
xvfb=
trap '[ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true; rm -rf "$TEST_WORK"' EXIT

# The Debian 12 sources of this machine's apt; mmdebstrap's own default (deb.debian.org) when there are none.
mapfile -t mirrors < <(apt-get indextargets --format '$(REPO_URI) $(RELEASE)' 'Identifier: Packages' |
    awk '$2 ~ /^bookworm(-updates|-security)?$/ {print "deb " $1 " " $2 " main"}' | sort -u)

# A display of its own, outside the tree; the program reaches it through X's abstract socket, which a chroot
# does not hide.
Xvfb -displayfd 3 -noreset -screen 0 1024x768x24 -nolisten tcp 3>"$TEST_WORK/display" 2>"$TEST_WORK/xvfb.log" &
xvfb=$!
while [ ! -s "$TEST_WORK/display" ]; do
    kill -0 "$xvfb" 2>/dev/null || { cat "$TEST_WORK/xvfb.log" >&2; echo "Xvfb did not start" >&2; exit 1; }
    sleep 0.1
done
DISPLAY=:$(head -1 "$TEST_WORK/display")
export DISPLAY

# One run at a time uses the cache; a second one waits for it.
exec 9>"$cache/.lock"
flock 9
status=0
mmdebstrap --variant=minbase --quiet \
    --aptopt='APT::Install-Recommends "false"' --dpkgopt=force-unsafe-io \
    --include="$deb" --hook-dir=/usr/share/mmdebstrap/hooks/file-mirror-automount \
    --skip=essential/unlink \
    --setup-hook='mkdir -p "$1/var/cache/apt/archives"' \
    --setup-hook="sync-in '$cache' /var/cache/apt/archives/" \
    --customize-hook="rm -f '$cache'/*.deb" \
    --customize-hook="sync-out /var/cache/apt/archives '$cache'" \
    --customize-hook="bash '$self' --inside \"\$1\"" \
    bookworm /dev/null "${mirrors[@]}" >"$TEST_WORK/mmdebstrap.log" 2>&1 || status=$?
if [ "$status" -ne 0 ]; then
    cat "$TEST_WORK/mmdebstrap.log" >&2
    echo "installing $(basename "$deb") into a fresh Debian 12 tree failed" >&2
    exit 1
fi
grep -v '^I: ' "$TEST_WORK/mmdebstrap.log" || true
echo "$(basename "$deb") installed into a fresh minimal Debian 12 tree ($(wc -l <"$TEST_WORK/after.txt") packages)"
