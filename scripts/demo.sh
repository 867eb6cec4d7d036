#!/usr/bin/env bash
# Releases the sample invoice batch into a fresh embedded ECM library and shows what happened.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
exec "$build"/capture/capture-host --home "$build/capture-home" demo
