#!/usr/bin/env bash
# Installs what ZORQConvert needs to build, run and test on Debian 12, from
# Debian's own packages. Run as root. Does nothing when all are present.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config          # build
  libgtest-dev                              # tests
  qt6-base-dev qt6-tools-dev qt6-qpa-plugins libgl-dev  # desktop program (Widgets, UiTools)
  clang libclang-rt-14-dev                  # sanitizer and fuzzing builds
  clang-format                              # the format check of scripts/test.sh
  time hyperfine                            # benchmarks
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
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
