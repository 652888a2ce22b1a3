#!/bin/sh
# Moves the debug information of the programs in a package's staging tree into a -dbgsym package beside it,
# as Debian's dh_strip does: each program is stripped and keeps a link to its .debug file, which is found by
# the program's build ID.
#   make-dbgsym.sh STAGE PACKAGE VERSION MAINTAINER OUTPUT_DIR
set -eu
stage=$1 package=$2 version=$3 maintainer=$4 out=$5
arch=$(dpkg --print-architecture)
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
chmod 755 "$tree"

ids=
for program in "$stage"/usr/bin/*; do
    readelf -h "$program" >/dev/null 2>&1 || continue # the launcher is a shell script
    id=$(LC_ALL=C readelf -n "$program" | sed -n 's/^ *Build ID: *//p')
    [ -n "$id" ] || { echo "$program has no build ID" >&2; exit 1; }
    debug=usr/lib/debug/.build-id/$(printf %s "$id" | cut -c1-2)/$(printf %s "$id" | cut -c3-).debug
    mkdir -p "$tree/${debug%/*}"
    objcopy --only-keep-debug --compress-debug-sections "$program" "$tree/$debug"
    chmod 644 "$tree/$debug"
    strip --remove-section=.comment --remove-section=.note "$program"
    objcopy --add-gnu-debuglink="$tree/$debug" "$program"
    ids="$ids $id"
done
[ -n "$ids" ] || { echo "no program to strip in $stage/usr/bin" >&2; exit 1; }

# Its documents are the main package's, which it depends on in the same version.
mkdir -p "$tree/usr/share/doc" "$tree/DEBIAN"
ln -s "$package" "$tree/usr/share/doc/$package-dbgsym"
(cd "$tree" && find usr -type f | LC_ALL=C sort | xargs md5sum) >"$tree/DEBIAN/md5sums"
cat >"$tree/DEBIAN/control" <<CONTROL
Package: $package-dbgsym
Source: $package
Version: $version
Architecture: $arch
Maintainer: $maintainer
Installed-Size: $(du -sk --exclude=DEBIAN "$tree" | cut -f1)
Depends: $package (= $version)
Section: debug
Priority: optional
Description: debug symbols for $package
Build-Ids:$ids
Auto-Built-Package: debug-symbols
Package-Type: ddeb
CONTROL
chmod 644 "$tree/DEBIAN/md5sums" "$tree/DEBIAN/control"
dpkg-deb --root-owner-group -Zxz --build "$tree" "$out/${package}-dbgsym_${version}_$arch.ddeb" >/dev/null
