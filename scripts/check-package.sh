#!/usr/bin/env bash
# Builds the Debian package in the build folder (default ./build), has lintian find no error
# and no warning in it, unpacks it into a scratch root with dpkg -x and checks that it holds
# exactly what a menu, a software centre, the manual and a user's start need, each file valid,
# and that the unpacked starter brings the program up.
set -euo pipefail
build=$(realpath "${1:-$(dirname "$0")/../build}")
fail() {
    echo "PACKAGE CHECK FAILED: $*" >&2
    exit 1
}

cd "$build"
rm -f tidewell_*.deb
cpack -G DEB >cpack.log 2>&1 || { cat cpack.log; fail "cpack -G DEB"; }
debs=(tidewell_*.deb)
[[ -f ${debs[0]} ]] || fail "cpack made no tidewell_*.deb"
deb=${debs[0]}

# Any error or warning fails the check, as does lintian failing to run at all.
command -v lintian >/dev/null || fail "lintian is not installed (scripts/install-deps.sh)"
findings=$(lintian --fail-on error,warning "$deb" 2>&1) || fail "lintian:
$findings"
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root"

expected="usr/bin/tidewell
usr/libexec/tidewell/tidewell
usr/share/applications/tidewell.desktop
usr/share/doc/tidewell/changelog.gz
usr/share/doc/tidewell/copyright
usr/share/icons/hicolor/256x256/apps/tidewell.png
usr/share/icons/hicolor/48x48/apps/tidewell.png
usr/share/icons/hicolor/scalable/apps/tidewell.svg
usr/share/man/man1/tidewell.1.gz
usr/share/metainfo/example.kestrelmoor.Tidewell.metainfo.xml"
found=$(cd "$root" && find . -type f -printf '%P\n' | LC_ALL=C sort)
[[ $found == "$expected" ]] || fail "files differ from those expected:
$(diff <(echo "$expected") <(echo "$found"))"

[[ -x $root/usr/bin/tidewell && -x $root/usr/libexec/tidewell/tidewell ]] ||
    fail "the starter or the program is not executable"
for size in 48 256; do
    file -b "$root/usr/share/icons/hicolor/${size}x${size}/apps/tidewell.png" |
        grep -q "PNG image data, $size x $size," || fail "the ${size}px icon is not a $size x $size PNG"
done
report=$(desktop-file-validate "$root/usr/share/applications/tidewell.desktop" 2>&1) &&
    [[ -z $report ]] || fail "desktop entry: $report"
appstreamcli validate --no-net "$root/usr/share/metainfo/example.kestrelmoor.Tidewell.metainfo.xml" ||
    fail "AppStream metainfo"

# The changelog's newest entry is the version being packaged.
gzip -dc "$root/usr/share/doc/tidewell/changelog.gz" >"$root/changelog"
logged=$(dpkg-parsechangelog -l "$root/changelog" -S Version)
[[ $logged == "$(dpkg-deb -f "$deb" Version)" ]] ||
    fail "the changelog's newest entry is $logged, not the package's version"

depends=$(dpkg-deb -f "$deb" Depends)
for package in libqt6widgets6 libqt6core6 libc6 qt6-qpa-plugins; do
    [[ $depends == *"$package"* ]] || fail "Depends lacks $package: $depends"
done
[[ $(dpkg-deb -f "$deb" Recommends) == *qt6-wayland* ]] || fail "Recommends lacks qt6-wayland"

# The unpacked starter must find the program beside it and give it the user's data folder; a
# program that is still running after a few seconds has found its libraries and started.
home="$root/home"
mkdir -p "$home"
status=0
HOME=$home XDG_DATA_HOME='' TIDEWELL_HOME='' QT_QPA_PLATFORM=offscreen \
    timeout 5 "$root/usr/bin/tidewell" /startup >"$root/run.log" 2>&1 || status=$?
[[ $status -eq 124 ]] || fail "the unpacked tidewell ended with status $status: $(cat "$root/run.log")"
[[ -d $home/.local/share/Tidewell ]] || fail "the starter did not make the user's data folder"
echo "package check passed: $deb"
