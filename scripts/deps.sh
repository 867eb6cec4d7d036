#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when they are missing.
set -euo pipefail
packages=(cmake g++ make pkg-config libsqlite3-dev sqlite3 libgtest-dev libgmock-dev
          unixodbc unixodbc-dev odbc-postgresql postgresql
          qt6-base-dev libgl-dev fonts-dejavu-core nlohmann-json3-dev
          clang libclang-rt-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
