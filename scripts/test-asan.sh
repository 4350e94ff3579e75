#!/usr/bin/env bash
# Builds and runs the whole test suite under AddressSanitizer,
# UndefinedBehaviorSanitizer and LeakSanitizer (the linux-asan preset).
# Any report from a sanitizer fails the test that triggered it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
# Leaks are checked at exit; undefined behaviour stops the program at once
# (the preset compiles with -fno-sanitize-recover). Child programs started by
# end-to-end tests inherit these settings.
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
cmake --preset linux-asan
cmake --build --preset linux-asan
ctest --preset linux-asan
