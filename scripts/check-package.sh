#!/usr/bin/env bash
# Builds the Debian package from build/ (made by scripts/test.sh or
# scripts/build-and-run.sh), installs it with apt, and checks the installed
# programs: zorqconvert-cli converts the bundled samples to the same bytes as
# the build tree's converter, and zorqconvert loads its panel on the
# offscreen platform. Run as root; CI runs it on a fresh Debian 12 root.
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ ! -f build/CMakeCache.txt ]]; then
  echo "check-package: build/ is not configured; run scripts/build-and-run.sh first" >&2
  exit 1
fi
cmake --build build
rm -f build/zorqconvert_*.deb
(cd build && cpack -G DEB >/dev/null)
deb="$(ls build/zorqconvert_*.deb)"
echo "check-package: built $deb"
dpkg-deb --field "$deb" Package Version Depends

export DEBIAN_FRONTEND=noninteractive
apt-get install -y -qq "./$deb" >/dev/null
echo "check-package: installed $(dpkg-query -W -f='${Package} ${Version}' zorqconvert)"

out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
convert_both_ways() {  # FROM-TYPE TO-TYPE SAMPLE
  /usr/bin/zorqconvert-cli --from-type "$1" --to-type "$2" "samples/$3" "$out/installed-$3.csv"
  build/bin/zorqconvert-cli --from-type "$1" --to-type "$2" "samples/$3" "$out/built-$3.csv"
  cmp "$out/installed-$3.csv" "$out/built-$3.csv"
  echo "check-package: the installed zorqconvert-cli converts $3 to the same $(stat -c %s "$out/installed-$3.csv") bytes"
}
dpkg-query -W -f='${Depends}\n' zorqconvert | grep -q 'libnetcdf' ||
  { echo "check-package: the package does not depend on the NetCDF library it loads" >&2; exit 1; }
convert_both_ways 2 0 logger_type2_dump.txt
convert_both_ways 3 1 gauge_t10_dump.txt

QT_QPA_PLATFORM=offscreen /usr/bin/zorqconvert --check-panel
echo "check-package: the installed zorqconvert loads its panel"
for file in /usr/share/applications/*zorqconvert*.desktop /usr/share/metainfo/*zorqconvert*.xml \
  /usr/share/man/man1/zorqconvert-cli.1* /usr/share/bash-completion/completions/zorqconvert-cli; do
  [[ -e "$file" ]] || { echo "check-package: $file is missing" >&2; exit 1; }
done
echo "check-package: the desktop entry, metainfo, man page and completion are installed"
if [[ -d build/python/zorqconvert ]]; then
  sample="$PWD/samples/logger_type2_dump.txt"
  # From / so that nothing of the source tree is imported instead.
  (cd / && /usr/bin/python3 -c '
import importlib.metadata, xarray, zorqconvert
assert zorqconvert.__file__.startswith("/usr/lib/python3/dist-packages/"), zorqconvert.__file__
assert "zorq" in xarray.backends.list_engines()
zorqconvert.open_dataset("'"$sample"'", tz="UTC")
print("check-package: the system Python imports zorqconvert", importlib.metadata.version("zorqconvert"))')
fi
