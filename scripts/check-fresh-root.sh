#!/usr/bin/env bash
# Checks the README's promise on a fresh Debian 12: makes a minimal Debian 12
# root (debootstrap --variant=minbase bookworm), puts a clean clone of this
# project's committed HEAD into it, and there, as root with a cleared
# environment, runs
#   1. the README's test command:  bash scripts/test.sh
#   2. the README's run command:   bash scripts/build-and-run.sh
#      (no display there, so it converts the bundled samples)
#   3. scripts/check-package.sh:   builds the .deb with cpack, installs it
#      with apt and runs the installed programs.
# Nothing is installed in the root beforehand: whatever the project needs,
# its own scripts must install, so a missing package fails this check.
#
# Only the bare debootstrap result is cached, as a tarball under
# /var/cache/zorqconvert-ci (made again when older than a week); every
# project step runs anew. Run as root:
#
#   bash scripts/check-fresh-root.sh
#
# ZORQ_FRESH_ROOT_KEEP=1 keeps the root afterwards (its path is printed).
# Extra environment passed into the root: ZORQ_FUZZ_SECONDS.
set -euo pipefail
cd "$(dirname "$0")/.."
project="$(pwd)"

if ((EUID != 0)); then
  echo "check-fresh-root: run this as root (it uses debootstrap, mount and chroot)" >&2
  exit 1
fi

suite=bookworm
mirror="${ZORQ_DEBIAN_MIRROR:-http://deb.debian.org/debian}"
cache_dir=/var/cache/zorqconvert-ci
base="$cache_dir/$suite-minbase.tar"

current_step="setting up"
step() {
  current_step="$1"
  printf '\n== fresh root: %s (%s)\n' "$1" "$(date -u +%H:%M:%S)"
}

ensure_host_tools() {
  local missing=()
  command -v debootstrap >/dev/null || missing+=(debootstrap)
  command -v git >/dev/null || missing+=(git)
  if ((${#missing[@]} > 0)); then
    step "installing ${missing[*]} on the host"
    DEBIAN_FRONTEND=noninteractive apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

# The bare base system, made once a week at most.
ensure_base_tarball() {
  if [[ -s "$base" ]] && [[ -z "$(find "$base" -mtime +7 2>/dev/null)" ]]; then
    echo "check-fresh-root: using the cached base system $base"
    return
  fi
  step "making a minimal Debian 12 root with debootstrap"
  mkdir -p "$cache_dir"
  local made
  made="$(mktemp -d /var/tmp/zorq-debootstrap.XXXXXX)"
  if ! debootstrap --variant=minbase "$suite" "$made" "$mirror" >"$made.log" 2>&1; then
    tail -n 30 "$made.log" >&2
    rm -rf "$made" "$made.log"
    echo "check-fresh-root: debootstrap failed" >&2
    exit 1
  fi
  # The package lists are part of what each run fetches anew.
  rm -rf "$made"/var/lib/apt/lists/* "$made"/var/cache/apt/archives/*.deb
  tar -C "$made" -cf "$base.new" .
  mv "$base.new" "$base"
  rm -rf "$made" "$made.log"
}

root=""
cleanup() {
  local status=$?
  if ((status != 0)); then
    echo "check-fresh-root: FAILED with exit status $status in: $current_step" >&2
  fi
  if [[ -n "$root" ]]; then
    for mount_point in dev/pts dev sys proc; do
      umount -l "$root/$mount_point" 2>/dev/null || true
    done
    if [[ "${ZORQ_FRESH_ROOT_KEEP:-0}" == 1 ]]; then
      echo "check-fresh-root: the root is kept in $root"
    else
      rm -rf --one-file-system "$root"
    fi
  fi
  exit "$status"
}
trap cleanup EXIT

ensure_host_tools
ensure_base_tarball

root="$(mktemp -d /var/tmp/zorq-fresh-root.XXXXXX)"
step "unpacking the base system into $root"
tar -C "$root" -xf "$base"
cp /etc/resolv.conf "$root/etc/resolv.conf"

step "cloning $(git -C "$project" rev-parse --short HEAD) into the root"
git clone --quiet --no-hardlinks "$project" "$root/root/zorqconvert"
git -C "$root/root/zorqconvert" log --oneline -1

mount -t proc proc "$root/proc"
mount -t sysfs sysfs "$root/sys"
mount --bind /dev "$root/dev"
mount --bind /dev/pts "$root/dev/pts"

in_root() {
  chroot "$root" /usr/bin/env -i HOME=/root TERM=dumb LANG=C.UTF-8 CI=true \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    ZORQ_FUZZ_SECONDS="${ZORQ_FUZZ_SECONDS:-30}" \
    /bin/bash -c "cd /root/zorqconvert && $1"
}

step "the README's test command: bash scripts/test.sh"
in_root "bash scripts/test.sh"
step "the README's run command: bash scripts/build-and-run.sh"
in_root "bash scripts/build-and-run.sh"
step "the Debian package: bash scripts/check-package.sh"
in_root "bash scripts/check-package.sh"
step "all passed on the fresh Debian 12 root"
