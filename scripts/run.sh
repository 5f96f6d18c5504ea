#!/usr/bin/env bash
# The main job: build the release tool and create the databases in ./data.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DXRDB8_BUILD_TESTS=OFF >/dev/null
cmake --build build/release --target xrdb8_tool
tool=build/release/tools/xrdb8/xrdb8
"$tool" --version
# Create the databases in ./data (an existing server there is brought up to
# date in place, nothing is removed), then list the tables it holds.
"$tool" --data ./data setup
"$tool" --data ./data sql "SELECT name FROM sysobjects WHERE xtype = 'U' ORDER BY name"
