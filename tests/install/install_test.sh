#!/usr/bin/env bash
# Installs into a temporary prefix and starts the program by the command of the installed desktop entry, from
# several directories and environments, headless: the first start makes the data folder in an empty home and
# the ledger in it; every later start, from anywhere, finds that one folder (its running copy answers and the
# start ends at once); where no data folder can be had, the start ends with a box that says why. The launcher
# kept for old habits starts the installed program, never one that lies in the data folder.
#   install_test.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'kill -- -"${group:-0}" 2>/dev/null || true; rm -rf "$work"' EXIT
prefix=$work/prefix
home=$work/home
data=$home/.local/share/tsumotto
mkdir -p "$home" "$work/runtime" "$work/start" "$work/links"
chmod 700 "$work/runtime"
cmake --install "$build" --prefix "$prefix" >/dev/null

desktop=$prefix/share/applications/io.github.tsumotto.tsumotto.desktop
desktop-file-validate "$desktop"
appstreamcli validate --no-net "$prefix/share/metainfo/io.github.tsumotto.tsumotto.metainfo.xml" >/dev/null
# The program looks for a bare help file name beside its bin folder first.
test -s "$prefix/bin/../share/tsumotto/kzHelp.chm"

# The menu's command, as the desktop runs it: the program by name, through PATH.
read -ra command <<<"$(sed -n 's/^Exec=//p' "$desktop")"
echo "the menu entry runs: ${command[*]}"

# Runs a command in a directory with a clean environment and the given variables; boxes come on standard error.
# Only the first copy is meant to run on: any other is stopped after a minute, which fails the test.
#   run [--bounded] DIR VAR=VALUE... -- COMMAND...
run() {
    local limit=()
    if [ "$1" = --bounded ]; then
        limit=(timeout 60)
        shift
    fi
    local dir=$1
    shift
    local vars=()
    while [ "$1" != -- ]; do
        vars+=("$1")
        shift
    done
    shift
    (cd "$dir" && exec "${limit[@]}" env -i PATH="$prefix/bin:/usr/bin:/bin" LC_ALL=C.UTF-8 QT_QPA_PLATFORM=offscreen \
        XDG_RUNTIME_DIR="$work/runtime" TSUMOTTO_START_BOXES=stderr "${vars[@]}" "$@")
}

# The first start, from a directory of no importance: the data folder is made, private, with the ledger in it.
run "$work/start" HOME="$home" -- setsid "${command[@]}" >"$work/first.log" 2>&1 &
group=$!
ledger=$data/テーマ１.txt
# Waits on the program, not on the clock: it makes the ledger, or it ends.
while [ ! -e "$ledger" ]; do
    kill -0 "$group" 2>/dev/null || {
        cat "$work/first.log" >&2
        echo "the installed program ended without making the ledger" >&2
        exit 1
    }
    sleep 0.1
done
test -f "$ledger" || { echo "the ledger in the data folder is not a file" >&2; exit 1; }
test ! -s "$ledger"
[ "$(stat -c %a "$data")" = 700 ] || { echo "the data folder is not the user's own: $(stat -c %a "$data")" >&2; exit 1; }
# The folder is locked by the kernel for the program's life: no lock file is left in it.
test ! -e "$data/.tsumotto.lock"
echo "the menu's command made $data and an empty ledger in it"

# What would run if anything ran a program from the data folder.
printf '#!/bin/sh\ntouch "%s/planted-ran"\n' "$work" >"$data/tsumotto"
chmod +x "$data/tsumotto"
ln -s "$prefix/bin/tsumotto-launcher" "$work/links/tsumotto-launcher"

# Every later start finds the running copy in the one data folder, asks it to show itself and ends with 0.
# One that took another folder would run on, until stopped.
#   finds DESCRIPTION DIR VAR=VALUE... -- COMMAND...
finds() {
    local what=$1 status=0
    shift
    # The longest wait for the answer: one must come.
    run --bounded "$1" TSUMOTTO_ANSWER_WAIT_MS=10000 "${@:2}" >"$work/later.log" 2>&1 || status=$?
    if [ "$status" -ne 0 ] || grep -q 'ツモっと貯めよう！' "$work/later.log"; then
        cat "$work/later.log" >&2
        echo "$what: ended with $status, not by bringing the running copy forward" >&2
        exit 1
    fi
    echo "$what: found the running copy in $data"
}
finds "from the root directory" / HOME="$home" -- "${command[@]}"
finds "from the prefix's bin" "$prefix/bin" HOME="$home" -- "${command[@]}"
finds "from the data folder itself" "$data" HOME="$home" -- "${command[@]}"
finds "relative XDG_DATA_HOME" "$work/start" HOME="$home" XDG_DATA_HOME=data -- "${command[@]}"
finds "XDG_DATA_HOME naming the same place" "$work/start" HOME="$home" XDG_DATA_HOME="$home/.local/share" -- \
    "${command[@]}"
finds "launcher as ./tsumotto-launcher" "$prefix/bin" HOME="$home" -- ./tsumotto-launcher
finds "launcher as bin/tsumotto-launcher" "$prefix" HOME="$home" -- bin/tsumotto-launcher
finds "launcher through a symbolic link" "$work/links" HOME="$home" -- ./tsumotto-launcher
finds "launcher by name from the data folder" "$data" HOME="$home" -- tsumotto-launcher
test ! -e "$work/planted-ran" || { echo "a program in the data folder was run" >&2; exit 1; }
test ! -e "$work/start/data" || { echo "a relative XDG_DATA_HOME made a folder where the program started" >&2; exit 1; }

# Where no data folder can be had: a box that says why, a non-zero status, nothing made.
#   refused DESCRIPTION TEXT VAR=VALUE... -- COMMAND...
refused() {
    local what=$1 text=$2 status=0
    shift 2
    run --bounded "$work/start" "$@" >"$work/refused.log" 2>&1 || status=$?
    if [ "$status" -eq 0 ] || ! grep -qF "$text" "$work/refused.log"; then
        cat "$work/refused.log" >&2
        echo "$what: ended with $status without the box 「$text」" >&2
        exit 1
    fi
    echo "$what: refused with status $status: $(grep -F "$text" "$work/refused.log")"
}
touch "$work/file"
refused "unset HOME" "環境変数 HOME" -- "${command[@]}"
refused "relative XDG_DATA_HOME, unset HOME" "環境変数 HOME" XDG_DATA_HOME=data -- "${command[@]}"
refused "data folder under a regular file" "「$work/file」はフォルダーではありません。" HOME="$home" \
    XDG_DATA_HOME="$work/file/data" -- "${command[@]}"
refused "launcher, unset HOME" "環境変数 HOME" -- "$prefix/bin/tsumotto-launcher"

# One data folder holds the one ledger; the directories started from hold nothing.
ledgers=$(find "$work" -name 'テーマ１.txt' | wc -l)
[ "$ledgers" -eq 1 ] || { find "$work" -name 'テーマ１.txt' >&2; echo "$ledgers ledgers were made" >&2; exit 1; }
[ -z "$(ls -A "$work/start")" ] || { ls -A "$work/start" >&2; echo "a start made files where it started" >&2; exit 1; }
kill -0 "$group" || { echo "the first copy ended" >&2; exit 1; }
echo "one data folder, one ledger, from every directory and environment"
