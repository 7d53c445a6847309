#!/usr/bin/env bash
# Installs the Debian packages listed in .ci/packages.txt that are missing.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t pkgs < <(grep -vE '^\s*(#|$)' .ci/packages.txt)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
