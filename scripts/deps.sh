#!/usr/bin/env bash
# Installs the Debian packages the build needs when any is missing: the
# PostgreSQL server is there for the tests of the server engine.
set -euo pipefail
pkgs=(build-essential cmake ninja-build pkg-config libsqlite3-dev sqlite3 libpugixml-dev
      libgtest-dev libbenchmark-dev libcli11-dev libpq-dev postgresql-15 libedit-dev)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
