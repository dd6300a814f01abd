#!/usr/bin/env bash
# Installs what is missing, builds Kestrova and starts it. Arguments go to the program
# (for example "-f mail.txt" for plug-in mode).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "${JOBS:-2}"
if [ -x build/bin/kestrova ]; then
    if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
        exec build/bin/kestrova "$@"
    fi
    echo "The window needs a desktop session (DISPLAY is not set); start scripts/run.sh there."
fi
# Without the window, show the re-flow on a sample mail.
echo "--- sample (tests/data/mail-utf8-lf.txt), re-flowed to 30 columns:"
exec build/bin/kestrova-cli align --columns 30 --kinsoku 1 "${@:-tests/data/mail-utf8-lf.txt}"
