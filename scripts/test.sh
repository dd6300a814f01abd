#!/usr/bin/env bash
# Installs what is missing, builds Kestrova, and runs every test: the unit, window and
# end-to-end tests under CTest, the unit tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer, and each fuzz target for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=${JOBS:-2}
fuzz_seconds=${FUZZ_SECONDS:-20}

scripts/install-deps.sh

echo "== Format"
# The tree stays as clang-format 14 leaves it; a file it would change fails the run.
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format-14 --dry-run --Werror
echo "clang-format: clean"

echo "== Build and test"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTROVA_WERROR=ON >/dev/null
cmake --build build -j "$jobs"
(cd build && ctest --output-on-failure -j "$jobs" --timeout 300)

# Root reads and writes whatever the permission bits say, so the tests of unreadable files and
# read-only folders skip themselves under root, as CI runs. Run those suites again as an
# ordinary user, from a copy that user can read.
if [ "$(id -u)" -eq 0 ]; then
    echo "== File and settings tests as an unprivileged user"
    unprivileged=$(mktemp -d /tmp/kestrova-unprivileged.XXXXXX)
    trap 'rm -rf "$unprivileged"' EXIT
    cp build/tests/io/io_test build/tests/settings/settings_test "$unprivileged/"
    mkdir "$unprivileged/home"
    chmod -R a+rX "$unprivileged"
    chown nobody:nogroup "$unprivileged/home"
    for suite in io_test settings_test; do
        (cd "$unprivileged" && setpriv --reuid=nobody --regid=nogroup --clear-groups \
            env -i PATH=/usr/bin:/bin HOME="$unprivileged/home" TMPDIR="$unprivileged/home" \
            LC_ALL=C.UTF-8 "./$suite" --gtest_brief=1)
    done
fi

echo "== Unit tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKESTROVA_SANITIZE=ON \
    -DKESTROVA_GUI=OFF -DKESTROVA_WERROR=ON >/dev/null
cmake --build build-sanitize -j "$jobs"
(cd build-sanitize && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --output-on-failure -j "$jobs" --timeout 600)

echo "== Fuzzing, ${fuzz_seconds} s each"
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++-14 -DKESTROVA_FUZZ=ON -DKESTROVA_GUI=OFF -DKESTROVA_TESTS=OFF \
    >/dev/null
cmake --build build-fuzz -j "$jobs"
failed=0
for target in build-fuzz/fuzz/*_fuzz; do
    name=$(basename "$target")
    work=$(mktemp -d)
    if "$target" -max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$work/" "$work" "$root/fuzz/corpus/$name" >"$work/log" 2>&1; then
        echo "$name: $(grep -Eo 'Done [0-9]+ runs.*' "$work/log" | tail -1)"
        rm -rf "$work"
    else
        echo "$name: FAILED (log and crash input in $work)"
        tail -40 "$work/log"
        failed=1
    fi
done
if [ "$failed" -ne 0 ]; then
    echo "fuzzing found a failure"
    exit 1
fi
echo "All tests passed."
