#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine is missing, builds, and then starts the program or runs every check.
#   scripts/dev.sh run    build and start ツモっと貯めよう！ as the desktop menu does, in your data folder
#   scripts/dev.sh test   build and run all tests (the README says what they are)
#   scripts/dev.sh bench  build and run the benchmark of what the user waits for, three times, under Xvfb
set -euo pipefail

mode=${1:-}
case "$mode" in
run | test | bench) ;;
*)
    echo "usage: $0 run|test|bench" >&2
    exit 2
    ;;
esac

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TSUMOTTO_BUILD_DIR:-$here/build}

# Qt gives up with a confusing message when it has no display, so say it first, before anything is installed.
if [ "$mode" = run ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    cat >&2 <<EOF
There is no display to show the program on: neither DISPLAY nor WAYLAND_DISPLAY is set.
Run "scripts/dev.sh run" in a terminal of your desktop session, or log in from a desktop with "ssh -X" so that
the window comes to your screen. "scripts/dev.sh test" builds and checks everything without a display.
EOF
    exit 1
fi

# What building and running need.
packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-translations-l10n libgl-dev
    fonts-ipafont-gothic
    libmspack-dev fp-utils
)
# A Wayland session without X: Qt then needs its Wayland plugin.
if [ "$mode" = run ] && [ -z "${DISPLAY:-}" ]; then
    packages+=(qt6-wayland)
fi
case "$mode" in
test)
    # What only the checks need: GoogleTest for the tests of the records layer, X servers and tools for the window
    # tests, clang for the fuzzers, the tools that build, lint and install the Debian package, and Google
    # Benchmark so that the benchmark keeps building.
    packages+=(
        libgtest-dev
        xvfb xauth x11-utils xdotool
        at-spi2-core dbus dbus-x11 gir1.2-atspi-2.0 python3-gi
        clang-14 libclang-rt-14-dev
        desktop-file-utils appstream
        dpkg-dev file lintian mmdebstrap uidmap
        libbenchmark-dev libxcb-damage0-dev
    )
    ;;
bench) packages+=(libbenchmark-dev libxcb-damage0-dev xvfb xauth dbus at-spi2-core) ;;
esac

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    install=(apt-get install -y --no-install-recommends "${missing[@]}")
    advice() {
        cat >&2 <<EOF

These Debian packages are missing: ${missing[*]}
Installing them needs root. As root (for example after "su -"), run:

    apt-get update && ${install[*]}

and then "scripts/dev.sh $mode" again, as yourself.
EOF
        exit 1
    }
    if [ "$(id -u)" -eq 0 ]; then
        echo "Installing: ${missing[*]}"
        apt-get update -qq
        DEBIAN_FRONTEND=noninteractive "${install[@]}" -qq -o DPkg::Lock::Timeout=600
    elif command -v sudo >/dev/null; then
        echo "Installing with sudo: ${missing[*]}"
        sudo apt-get update -qq || advice
        sudo DEBIAN_FRONTEND=noninteractive "${install[@]}" -qq -o DPkg::Lock::Timeout=600 || advice
    else
        advice
    fi
fi

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTSUMOTTO_WERROR=ON >/dev/null

if [ "$mode" = run ]; then
    # The program and its help; the tests are left for "test".
    cmake --build "$build" -j"$(nproc)" --target tsumotto kzhelp
    # The program finds the folder itself; this only names it, by the same rule (a relative XDG_DATA_HOME
    # does not count).
    case "${XDG_DATA_HOME:-}" in
    /*) data="$XDG_DATA_HOME/tsumotto" ;;
    *) data="${HOME:-}/.local/share/tsumotto" ;;
    esac
    echo "Starting ツモっと貯めよう！ with --data-folder, as the desktop menu does."
    echo "Your data folder is $data"
    echo "(the ledger テーマ１.txt, the item list 項目１.txt and the theme name テーマ名１.txt)."
    exec "$build/src/tsumotto" --data-folder
fi
cmake --build "$build" -j"$(nproc)"
if [ "$mode" = bench ]; then
    # Three runs, each under an X server and a D-Bus session of its own, as on a desktop (without a session bus,
    # every Qt program would start one through dbus-launch and wait for it); the last says how far each ratio
    # moved between them.
    runs=()
    for run in $(seq "${TSUMOTTO_BENCH_RUNS:-3}"); do
        echo "benchmark run $run"
        dbus-run-session -- "$here/tests/support/with-xvfb.sh" "$build/bench/tsumotto_bench" \
            --json "$build/bench/tsumotto-bench-$run.json" || true
        runs+=("$build/bench/tsumotto-bench-$run.json")
    done
    exec "$build/bench/tsumotto_bench" --summarize "${runs[@]}"
fi
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"

# The Debian package: its files, the dependencies it declares, and lintian's verdict.
(cd "$build" && rm -f tsumotto_*.deb tsumotto-dbgsym_*.ddeb && cpack -G DEB >/dev/null)
deb=$(ls "$build"/tsumotto_*.deb)
ddeb=$(ls "$build"/tsumotto-dbgsym_*.ddeb)
files=$(dpkg-deb -c "$deb")
for f in ./usr/bin/tsumotto ./usr/bin/tsumotto-launcher ./usr/share/tsumotto/kzHelp.chm \
    ./usr/share/applications/io.github.tsumotto.tsumotto.desktop \
    ./usr/share/metainfo/io.github.tsumotto.tsumotto.metainfo.xml \
    ./usr/share/icons/hicolor/48x48/apps/io.github.tsumotto.tsumotto.png \
    ./usr/share/man/man1/tsumotto.1.gz ./usr/share/man/ja/man1/tsumotto-launcher.1.gz \
    ./usr/share/doc/tsumotto/copyright ./usr/share/doc/tsumotto/changelog.gz; do
    grep -q " $f\$" <<<"$files" || { echo "the package lacks $f" >&2; exit 1; }
done
# The menu entry starts the program itself, which finds the data folder; the launcher is only kept for old habits.
dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/applications/io.github.tsumotto.tsumotto.desktop |
    grep -qx 'Exec=tsumotto --data-folder' || { echo "the package's menu entry does not run tsumotto --data-folder" >&2; exit 1; }
# What the package must depend on: Qt, libmspack for the help, the fonts and Qt's texts.
depends=$(dpkg-deb -f "$deb" Depends)
for d in libqt6widgets6 libmspack0 fonts-ipafont-gothic qt6-translations-l10n; do
    grep -q "$d" <<<"$depends" || { echo "the package does not depend on $d: $depends" >&2; exit 1; }
done
echo "$(basename "$deb"): $(wc -l <<<"$files") entries; Depends: $depends"
echo "Recommends: $(dpkg-deb -f "$deb" Recommends)"
# .chm files are read with libmspack; the unmaintained chmlib must not come back in through a dependency.
if ldd "$build/src/tsumotto" | grep -qi 'libchm'; then
    echo "the program links chmlib:" >&2
    ldd "$build/src/tsumotto" >&2
    exit 1
fi
# lintian's notes (N:), its informational (I:) and pedantic (P:) tags are advice; errors and warnings fail.
status=0
lintian --fail-on error,warning --info --pedantic --tag-display-limit 0 "$deb" "$ddeb" >"$build/lintian.txt" 2>&1 ||
    status=$?
grep -E '^[EWIP]: ' "$build/lintian.txt" || true
if [ "$status" -ne 0 ] || grep -qE '^[EW]: ' "$build/lintian.txt"; then
    echo "lintian found errors or warnings in the package (all of its output is in $build/lintian.txt)" >&2
    exit 1
fi
echo "lintian: no error and no warning in $(basename "$deb") and $(basename "$ddeb")"

# The package installed into a fresh minimal Debian 12 tree with nothing but its Depends, and its program
# started there: mostly downloads and dpkg, so it runs beside the sanitizer build.
debian_log=$build/debian-install.log
setsid bash "$here/tests/install/debian_install_test.sh" "$deb" >"$debian_log" 2>&1 &
debian_test=$!
trap 'kill -- -"$debian_test" 2>/dev/null || true' EXIT

# The same tests again, built with AddressSanitizer and UndefinedBehaviorSanitizer; any finding fails them.
# Leak reports are off: fontconfig and Qt keep caches until exit by design.
sanitize=${build}-sanitize
cmake -S "$here" -B "$sanitize" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTSUMOTTO_WERROR=ON \
    -DTSUMOTTO_SANITIZE=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON >/dev/null
cmake --build "$sanitize" -j"$(nproc)"
ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir "$sanitize" --output-on-failure -j"$(nproc)"

status=0
wait "$debian_test" || status=$?
trap - EXIT
cat "$debian_log"
if [ "$status" -ne 0 ]; then
    echo "the package did not install or start in a fresh Debian 12 tree" >&2
    exit 1
fi

# The fuzz targets, with clang's libFuzzer, 15 seconds each from the seed corpus; a finding fails the run and
# leaves its input in the fuzz build directory.
fuzz=${build}-fuzz
cmake -S "$here/fuzz" -B "$fuzz" -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
cmake --build "$fuzz" -j"$(nproc)"
for target in records money text_field roundtrip chm; do
    work=$(mktemp -d)
    echo "fuzzing $target for 15 s"
    status=0
    "$fuzz/fuzz_$target" -max_total_time=15 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$fuzz/" "$work" "$here/fuzz/corpus/$target" >"$work.log" 2>&1 || status=$?
    grep -E '^(#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units)' "$work.log" || true
    if [ "$status" -ne 0 ]; then
        tail -40 "$work.log" >&2
        echo "fuzz_$target found a fault" >&2
        exit 1
    fi
    rm -rf "$work" "$work.log"
done
