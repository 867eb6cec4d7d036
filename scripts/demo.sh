#!/usr/bin/env bash
# Registers the connector module with the capture host, then releases the sample invoice batch into a fresh
# embedded ECM library and shows what happened.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
host=("$build"/capture/capture-host --home "$build/capture-home")
"${host[@]}" register "$build"/server/qorvena.so
exec "${host[@]}" demo
