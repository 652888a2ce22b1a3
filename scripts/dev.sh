#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine is missing, builds, and then starts the program or runs every check.
#   scripts/dev.sh run    build and start ツモっと貯めよう！ in the current directory
#   scripts/dev.sh test   build and run all tests
#   scripts/dev.sh bench  build and run the benchmark of a full ledger (offscreen)
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

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-translations-l10n libgl-dev
    fonts-ipafont-gothic xvfb xauth
    libmspack-dev fp-utils libbenchmark-dev
    clang-14 libclang-rt-14-dev
    desktop-file-utils appstream dpkg-dev
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTSUMOTTO_WERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)"

if [ "$mode" = run ]; then
    exec "$build/src/tsumotto"
fi
if [ "$mode" = bench ]; then
    QT_QPA_PLATFORM=offscreen exec "$build/bench/tsumotto_bench" --json "$build/bench/tsumotto-bench.json"
fi
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"

# The Debian package: its files and the dependencies it declares.
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls -t "$build"/tsumotto_*.deb | head -1)
files=$(dpkg-deb -c "$deb")
for f in ./usr/bin/tsumotto ./usr/bin/tsumotto-launcher ./usr/share/tsumotto/kzHelp.chm \
    ./usr/share/applications/io.github.tsumotto.tsumotto.desktop \
    ./usr/share/metainfo/io.github.tsumotto.tsumotto.metainfo.xml \
    ./usr/share/icons/hicolor/48x48/apps/io.github.tsumotto.tsumotto.png; do
    grep -q " $f\$" <<<"$files" || { echo "the package lacks $f" >&2; exit 1; }
done
depends=$(dpkg-deb -f "$deb" Depends)
for d in libqt6widgets6 libmspack0 fonts-ipafont-gothic qt6-translations-l10n; do
    grep -q "$d" <<<"$depends" || { echo "the package does not depend on $d: $depends" >&2; exit 1; }
done
echo "$(basename "$deb"): $(wc -l <<<"$files") entries; Depends: $depends"
# .chm files are read with libmspack; the unmaintained chmlib must not come back in through a dependency.
if ldd "$build/src/tsumotto" | grep -qi 'libchm'; then
    echo "the program links chmlib:" >&2
    ldd "$build/src/tsumotto" >&2
    exit 1
fi

# The same tests again, built with AddressSanitizer and UndefinedBehaviorSanitizer; any finding fails them.
# Leak reports are off: fontconfig and Qt keep caches until exit by design.
sanitize=${build}-sanitize
cmake -S "$here" -B "$sanitize" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTSUMOTTO_WERROR=ON \
    -DTSUMOTTO_SANITIZE=ON >/dev/null
cmake --build "$sanitize" -j"$(nproc)"
ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir "$sanitize" --output-on-failure -j"$(nproc)"

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
