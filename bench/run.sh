#!/usr/bin/env bash
# Builds Kestrova in release mode, makes the corpus and writes docs/PERFORMANCE.md: the
# command-line filter beside nkf and iconv, the engine alone, and the window under Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTROVA_TESTS=OFF >/dev/null
cmake --build build-release -j "${JOBS:-2}" --target kestrova kestrova-cli
corpus=${KESTROVA_CORPUS:-build-release/corpus}
mkdir -p "$corpus"
python3 bench/make_corpus.py "$corpus" $((8 * 1024 * 1024))
python3 bench/measure.py build-release "$corpus" docs/PERFORMANCE.md "${RUNS:-7}"
# The window's figures go in their own section at the end; Debian's python3-xlib is needed.
/usr/bin/python3 bench/window_bench.py build-release "$corpus" docs/PERFORMANCE.md
