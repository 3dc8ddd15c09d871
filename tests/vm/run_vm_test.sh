#!/usr/bin/env bash
# Checks run-vm from the outside: what reaches the command in the VM, and what comes back.
# Usage: run_vm_test.sh <path to run-vm>
set -uo pipefail

run_vm=${1:?usage: run_vm_test.sh <run-vm>}
work=$(mktemp -d "${TMPDIR:-/tmp}/run-vm-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0

check()
{
    local what=$1 expected=$2 actual=$3
    if [[ $expected == "$actual" ]]; then
        echo "ok: $what"
    else
        echo "FAIL: $what: expected [$expected], got [$actual]"
        failures=$((failures + 1))
    fi
}

# The runner's own failures come before any boot and need no VM.
out=$(VANDREL_VM_KERNEL=/nonexistent/vmlinuz-0 VANDREL_SKIP_VM_TESTS= "$run_vm" -- true 2>"$work/err")
check "an unusable kernel fails with 125" 125 $?
check "...and says why" yes "$(grep -q 'run-vm: error: .*not readable' "$work/err" && echo yes)"
out=$(VANDREL_VM_KERNEL=/nonexistent/vmlinuz-0 VANDREL_SKIP_VM_TESTS=1 "$run_vm" -- true 2>/dev/null)
check "with VANDREL_SKIP_VM_TESTS=1 it is a skip that passes" 0 $?
check "...and says so" yes "$([[ $out == "run-vm: SKIPPED: "* ]] && echo yes)"
(cd /proc && "$run_vm" -- true 2>/dev/null)
check "a working directory the VM cannot see fails with 125" 125 $?
"$run_vm" --timeout nope -- true 2>/dev/null
check "a bad time-out is a usage error" 2 $?

# One boot checks everything that reaches the command and comes back from it.
marker="vm-was-here-$$"
export VANDREL_RUN_VM_TEST_HOST=from-host
# shellcheck disable=SC2016
script='
set -u
printf "args="; printf "%s|" "$@"; echo
echo "user=$(id -u) cwd=$PWD home=$HOME"
echo "set=$VANDREL_SET copied=$VANDREL_RUN_VM_TEST_HOST leaked=${VANDREL_VM_CACHE:-none}"
echo "tmp=$(stat -f -c %T /tmp)"
[ -c /dev/uinput ] && echo "uinput=yes"
[ -e /dev/input/event0 ] && echo "evdev=yes"
echo "written" >'"$marker"' && cat '"$marker"'
echo "to stderr" >&2
exit 7'
# Run from the runner's folder: a path the VM sees, whatever the caller's working directory.
here=$(cd "$(dirname "$run_vm")" && pwd -P)
out=$(cd "$here" &&
    "$run_vm" --timeout 60 --env 'VANDREL_SET=a b$c "d"' --env VANDREL_RUN_VM_TEST_HOST -- \
        bash -c "$script" vm-bash "one two" "it's" 2>"$work/err")
status=$?
if [[ $out == "run-vm: SKIPPED: "* ]]; then
    echo "$out"
    exit 0
fi
check "the command's exit code comes back" 7 $status
expected="args=one two|it's|
user=0 cwd=$here home=/tmp/home
set=a b\$c \"d\" copied=from-host leaked=none
tmp=overlayfs
uinput=yes
evdev=yes
written"
check "stdout carries arguments, identity, environment and devices" "$expected" "$out"
check "stderr comes back apart" "to stderr" "$(cat "$work/err")"
check "writes in the VM stay in the VM" no "$([[ -e $here/$marker ]] && echo yes || echo no)"
rm -f "$here/$marker"

start=$(date +%s)
"$run_vm" --timeout 20 -- sleep 600 >/dev/null 2>"$work/err"
status=$?
elapsed=$(($(date +%s) - start))
check "a command that overruns its time-out ends with 124" 124 $status
check "...promptly" yes "$( ((elapsed < 60)) && echo yes)"
check "...and says so" yes "$(grep -q 'run-vm: time-out' "$work/err" && echo yes)"

if ((failures > 0)); then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all run-vm checks passed"
