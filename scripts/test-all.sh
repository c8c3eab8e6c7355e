#!/usr/bin/env bash
# Every test of the suite, as CI runs it: native unit and integration tests,
# the Wireshark plugin checked with tshark,
# the same under ASan+UBSan and TSan, the Windows build of the unit tests
# under Wine, the end-to-end scenarios under Wine and Xvfb, the release
# packages (scripts/package.sh, then ctest -L package), and a bounded run
# of every fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=${JOBS:-2}
fuzz_seconds=${FUZZ_SECONDS:-60}

bash scripts/setup.sh

step() { echo; echo "=== $* ==="; }

step "generated images are up to date"
python3 tools/images/makeImages.py --check

step "native build and tests"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build -LE 'e2e|fuzz|wireshark' --output-on-failure -j"$jobs"

step "Wireshark plugin with tshark"
ctest --test-dir build -L wireshark --output-on-failure -j"$jobs"

step "address and undefined-behaviour sanitizers"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
  -DTAGDESK_SANITIZE=address,undefined -DTAGDESK_BENCH=OFF >/dev/null
cmake --build build-asan -j"$jobs"
ctest --test-dir build-asan -LE 'e2e|fuzz|wireshark' --output-on-failure -j"$jobs"

step "thread sanitizer"
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
  -DTAGDESK_SANITIZE=thread -DTAGDESK_BENCH=OFF >/dev/null
cmake --build build-tsan -j"$jobs"
TSAN_OPTIONS="halt_on_error=1" ctest --test-dir build-tsan -LE 'e2e|fuzz|wireshark' --output-on-failure -j"$jobs"

step "Windows build, unit tests under Wine"
cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-win -j"$jobs"
ctest --test-dir build-win -L unit --output-on-failure

if ctest --test-dir build-win -N -L e2e | grep -q 'Total Tests: [1-9]'; then
  step "end-to-end scenarios under Wine"
  # The serial scenarios' software reader: the native one built above.
  READERSIM=$root/build/tools/readersim/readersim ctest --test-dir build-win -L e2e --output-on-failure
fi

if ctest --test-dir build-win -N -L soak | grep -q 'Total Tests: [1-9]'; then
  step "soak scenarios under Wine (short)"
  READERSIM=$root/build/tools/readersim/readersim ctest --test-dir build-win -L soak --output-on-failure -j2
fi

step "release packages: build, then install, upgrade and remove under Wine"
bash scripts/package.sh
ctest --test-dir build-win -L package --output-on-failure

step "fuzzing (${fuzz_seconds}s per target)"
cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
  -DTAGDESK_SANITIZE=address,undefined -DTAGDESK_FUZZ=ON -DTAGDESK_BENCH=OFF -DTAGDESK_TESTS=OFF >/dev/null
cmake --build build-fuzz -j"$jobs" --target all
for fuzzer in build-fuzz/tests/fuzz/fuzz_*; do
  [ -x "$fuzzer" ] || continue
  name=$(basename "$fuzzer")
  corpus="build-fuzz/corpus/$name"
  mkdir -p "$corpus"
  echo "fuzzing $name"
  "$fuzzer" -max_total_time="$fuzz_seconds" -print_final_stats=0 "$corpus" >"build-fuzz/$name.log" 2>&1 || {
    tail -50 "build-fuzz/$name.log"
    echo "$name found a fault"
    exit 1
  }
  grep -E '^#[0-9]+.*DONE' "build-fuzz/$name.log" | tail -1 || true
done

echo
echo "all tests passed"
