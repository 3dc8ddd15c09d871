#!/usr/bin/env bash
# Checks sanitizer-reports on the host: a report any process of the command writes is shown and fails the run,
# and without one the command's own exit code comes back. A "report" here is what a sanitizer would write to
# the log_path it is given.
# Usage: sanitizer_reports_test.sh <path to sanitizer-reports>
set -uo pipefail

wrapper=${1:?usage: sanitizer_reports_test.sh <sanitizer-reports>}
failures=0
unset ASAN_OPTIONS UBSAN_OPTIONS
# shellcheck disable=SC2016
report='prefix=${ASAN_OPTIONS##*log_path=}; echo "ERROR: AddressSanitizer: $1" >"$prefix.$BASHPID"'

check()
{
    local what=$1 expected_status=$2 expected_err=$3
    shift 3
    local err status
    err=$("$wrapper" -- "$@" 2>&1 >/dev/null)
    status=$?
    if [[ $status != "$expected_status" || $err != *"$expected_err"* ]]; then
        echo "FAIL: $what: expected $expected_status and [$expected_err], got $status and [$err]"
        failures=$((failures + 1))
    else
        echo "ok: $what"
    fi
}

check "a clean pass stays a pass" 0 "" true
check "a clean failure keeps its exit code" 7 "" bash -c 'exit 7'
check "a report of the command fails a pass and is shown" 1 "ERROR: AddressSanitizer: mine" \
    bash -c "$report" report mine
check "a report of a child it started counts too" 1 "ERROR: AddressSanitizer: child's" \
    bash -c "bash -c '$report' report \"child's\"; exit 0"
check "a failure with a report keeps its exit code" 3 "1 process(es) reported faults" \
    bash -c "$report; exit 3" report both
export ASAN_OPTIONS=detect_leaks=1
# shellcheck disable=SC2016
check "options already given are kept, and UBSan stops at its first finding" 0 "" \
    bash -c '[[ $ASAN_OPTIONS == detect_leaks=1:log_path=* && $UBSAN_OPTIONS == *halt_on_error=1* ]]'
unset ASAN_OPTIONS

if ((failures > 0)); then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all sanitizer-reports checks passed"
