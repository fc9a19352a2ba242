#!/usr/bin/env bash
# Installs what ZORQConvert needs to build, run and test on Debian 12, from
# Debian's own packages: the build, the tests, the sanitizer builds, the
# fuzzers, the benchmarks and the packaging checks. Run as root. Does nothing
# when all are present. CI runs this on a fresh Debian 12 root, so a package
# missing here fails CI.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config          # build
  libgtest-dev                              # tests
  libnetcdf-dev                             # NetCDF-4 output
  libhdf5-dev                               # HDF5's public error API, to keep its diagnostics off stderr
  nettle-dev                                # SHA-256 of a dump in the NetCDF source attribute
  libfftw3-dev                              # spectra of the wave statistics
  libhowardhinnant-date-dev tzdata          # time zones read from the system's database
  nlohmann-json3-dev                        # JSON reports and deployment files
  libpugixml-dev                            # the tests' reading of XML
  libudunits2-dev libudunits2-data          # units checked against udunits2's database
  python3-xarray python3-netcdf4 python3-scipy  # independent readers and checkers in tests
  cdo                                       # a data centre's reader of the NetCDF files, in tests
  python3-dev pybind11-dev python3-numpy    # the Python module
  python3-dask python3-distributed python3-pytest  # the Python module's tests and its Dask examples
  qt6-base-dev qt6-tools-dev qt6-qpa-plugins libgl-dev  # desktop program (Widgets, UiTools)
  libqt6opengl6-dev                         # UiTools' CMake package needs OpenGLWidgets
  qt6-charts-dev                            # the preview chart
  xvfb xauth                                # Qt tests on a real X server, README screenshots
  libxcb1-dev                               # the Qt tests click a close box as a window manager does
  clang libclang-rt-14-dev                  # sanitizer and fuzzing builds
  clang-format                              # the format check of scripts/test.sh
  time hyperfine                            # benchmarks
  parallel                                  # the GNU parallel example of docs/batch.md (a test runs it)
  desktop-file-utils appstream groff-base man-db bash-completion  # packaging checks
  dpkg-dev file                             # cpack -G DEB (dpkg-shlibdeps, ELF detection)
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if ((${#missing[@]} == 0)); then
  exit 0
fi
if ((EUID != 0)); then
  echo "install-deps: these packages are missing: ${missing[*]}" >&2
  echo "install-deps: run this script as root (or install them with apt-get)" >&2
  exit 1
fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# apt's own output goes to a log, shown only when something fails.
log="$(mktemp "${TMPDIR:-/tmp}/install-deps.XXXXXX")"
trap 'rm -f "$log"' EXIT
if ! { apt-get update -qq && apt-get install -y -qq --no-install-recommends "${missing[@]}"; } \
  >"$log" 2>&1; then
  tail -n 40 "$log" >&2
  echo "install-deps: apt-get could not install ${missing[*]}" >&2
  exit 1
fi
echo "install-deps: installed ${#missing[@]} packages"
