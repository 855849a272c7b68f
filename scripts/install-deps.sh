#!/usr/bin/env bash
# Installs the Debian 12 packages Varnolde needs, when missing. Uses sudo when not root. Safe to
# run again: it does nothing when everything is there.
#
#   scripts/install-deps.sh             what building, testing and running need (make test, make run)
#   scripts/install-deps.sh packaging   that, and what make package and scripts/check-package.sh
#                                       need: dpkg-shlibdeps, help2man, lintian, desktop-file-validate,
#                                       fakeroot (for dpkg --root when not root)
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libsqlite3-dev libicu-dev nlohmann-json3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-translations-l10n fonts-liberation xvfb xauth
  clang libclang-rt-14-dev
  postgresql libpq-dev
)
packaging=(dpkg-dev file fakeroot help2man lintian desktop-file-utils)

case "${1:-}" in
  "") ;;
  packaging) packages+=("${packaging[@]}") ;;
  *) echo "usage: scripts/install-deps.sh [packaging]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
