#!/usr/bin/env bash
# The layers of src/ keep their order, records < widgets < help < window < app: a folder includes headers of its
# own layer and of those below it only; the records layer neither includes nor links Qt; the help's core
# (help_core) includes nothing of the help windows or the widgets and links no Qt GUI library; and a program
# built on the records library alone loads no Qt library at all, nor one built on the help core a Qt GUI library.
#   layering_check.sh SRC_DIR [--core FILES] [--records-links LIBS] [--core-links LIBS] [--qt-free PROGRAM]...
#                     [--no-gui PROGRAM]...
# FILES and LIBS are lists as CMake gives them, separated by ';'.
set -uo pipefail

src=${1:?usage: layering_check.sh SRC_DIR [options]}
shift
declare -A rank=([records]=0 [widgets]=1 [help]=2 [window]=3 [app]=4)
core_files=()
records_links=
core_links=
qt_free=()
no_gui=()
while [ $# -gt 0 ]; do
    case "$1" in
    --core) IFS=';' read -r -a core_files <<<"$2" ;;
    --records-links) records_links=$2 ;;
    --core-links) core_links=$2 ;;
    --qt-free) qt_free+=("$2") ;;
    --no-gui) no_gui+=("$2") ;;
    *)
        echo "unknown option $1" >&2
        exit 2
        ;;
    esac
    shift 2
done

failures=0
fail() {
    echo "$*" >&2
    failures=$((failures + 1))
}

for dir in "$src"/*/; do
    name=$(basename "$dir")
    [ -n "${rank[$name]+set}" ] || fail "src/$name/ is not one of the layers (${!rank[*]})"
done

# The help core's files, by name without extension: their headers may be included from the core.
declare -A core=()
for file in "${core_files[@]}"; do
    base=$(basename "$file")
    [[ $base == *.cpp || $base == *.h ]] && core[${base%.*}]=1
done
[ ${#core_files[@]} -eq 0 ] || [ ${#core[@]} -gt 0 ] || fail "no help core files given"

checked=0
for file in "$src"/*/*.h "$src"/*/*.cpp; do
    [ -e "$file" ] || continue
    folder=$(basename "$(dirname "$file")")
    [ -n "${rank[$folder]+set}" ] || continue
    relative=src/$folder/$(basename "$file")
    base=$(basename "$file")
    in_core=
    [ "$folder" = help ] && [ -n "${core[${base%.*}]+set}" ] && in_core=1
    checked=$((checked + 1))
    while IFS=: read -r line text; do
        included=${text#*\"}
        included=${included%%\"*}
        [[ $included == */* ]] || continue # a file beside it, or one the build makes
        layer=${included%%/*}
        if [ -z "${rank[$layer]+set}" ]; then
            fail "$relative:$line: includes $included, from no layer"
        elif [ "${rank[$layer]}" -gt "${rank[$folder]}" ]; then
            fail "$relative:$line: $folder includes $included, from $layer above it"
        elif [ -n "$in_core" ] && [ "$layer" = widgets ]; then
            fail "$relative:$line: the help core includes $included, a widget"
        elif [ -n "$in_core" ] && [ "$layer" = help ]; then
            header=$(basename "$included")
            [ -n "${core[${header%.*}]+set}" ] || fail "$relative:$line: the help core includes $included, of the help windows"
        fi
    done < <(grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file")
    if [ "$folder" = records ]; then
        while IFS=: read -r line text; do
            fail "$relative:$line: the records layer includes Qt: $text"
        done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*<Q' "$file")
    fi
done
[ "$checked" -gt 0 ] || fail "no source files under $src"

if grep -qiE '(^|;)[^;]*qt' <<<"$records_links"; then
    fail "the records library links Qt: $records_links"
fi
if grep -qE '(^|;)(Qt6?::(Gui|Widgets)|widgets|help_viewer)(;|$)' <<<"$core_links"; then
    fail "the help core links widgets: $core_links"
fi
# Programs that must not load the Qt libraries matching `pattern`, and what they were built on.
check_loads() {
    local pattern=$1 built_on=$2 program libraries
    shift 2
    for program in "$@"; do
        if ! libraries=$(ldd "$program"); then
            fail "$program cannot be inspected"
        elif grep -qE "$pattern" <<<"$libraries"; then
            fail "$(basename "$program"), built on $built_on, loads $(awk '{print $1}' <<<"$libraries" | grep -E "$pattern" | tr '\n' ' ')"
        fi
    done
}
check_loads 'libQt' "the records library alone" "${qt_free[@]}"
check_loads 'libQt6(Gui|Widgets)' "the help core" "${no_gui[@]}"

echo "$checked files in ${#rank[@]} layers, ${#core[@]} help core files, ${#qt_free[@]} Qt-free programs and" \
    "${#no_gui[@]} without a GUI checked"
if [ "$failures" -gt 0 ]; then
    echo "$failures breaches of the layers" >&2
    exit 1
fi
