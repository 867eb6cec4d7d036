#!/usr/bin/env bash
# Placeholder until the capture host exists: runs the COM stand-in's tests as the smallest real job.
set -euo pipefail
build=${1:-build}
"$build"/tests/com/com_tests --gtest_brief=1
