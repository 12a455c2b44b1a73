#!/usr/bin/env bash
# Installs the Debian packages that building and testing grpaudit needs,
# only when one of them is missing (a second run does nothing).
set -euo pipefail

packages=(
  build-essential cmake make g++ pkg-config
  libpcre2-dev nlohmann-json3-dev libcli11-dev libfmt-dev libsimdjson-dev libabsl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  python3 python3-dev pybind11-dev python3-jsonschema python3-prometheus-client
  iproute2 util-linux groff-base file lintian
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

[ ${#missing[@]} -eq 0 ] && exit 0

echo "install-deps: installing ${missing[*]}" >&2
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
