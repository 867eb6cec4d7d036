#!/usr/bin/env bash
# The main job: build, then release the sample batch into an embedded ECM library and show the result.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh build
exec scripts/demo.sh build
