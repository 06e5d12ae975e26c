#!/usr/bin/env bash
# Builds the Debian package from a release build (build-package/) and checks
# it: lintian must report no error, the launchers must validate, and the
# command line must run from the unpacked tree.
# Usage: ./package.sh        leaves the .deb in build-package/
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh package

echo "== configuring build-package/ (Release)"
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELTRO_TESTS=OFF
echo "== building"
cmake --build build-package -j "$(nproc)"
echo "== packaging"
rm -f build-package/*.deb
(cd build-package && cpack -G DEB)
deb=$(ls build-package/*.deb)
echo "== $deb"
dpkg-deb --info "$deb" | sed -n '/Package:/,$p'

echo "== lintian"
# Errors fail the package; warnings are printed for people to read.
lintian --fail-on error "$deb"

echo "== checking the unpacked package"
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
for file in usr/lib/veltro-lite/veltrolt usr/lib/veltro-lite/veltrotool usr/lib/veltro-lite/res/res.txt \
            usr/lib/veltro-lite/res/dialog.txt usr/lib/veltro-lite/doc/index.html \
            usr/lib/veltro-lite/samples/rolling-ball.avi \
            usr/share/applications/veltro-lite.desktop usr/share/icons/hicolor/128x128/apps/veltro-lite.png \
            usr/share/doc/veltro-lite/copyright usr/share/doc/veltro-lite/changelog.gz; do
  [ -e "$root/$file" ] || { echo "package.sh: $file is missing from the package" >&2; exit 1; }
done
desktop-file-validate "$root"/usr/share/applications/*.desktop
"$root/usr/lib/veltro-lite/veltrotool" --help > /dev/null
echo "== package checked: $deb"
