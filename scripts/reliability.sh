#!/usr/bin/env bash
# Runs the crash, fault and concurrency scenarios at full size and prints a line for each: what it
# tried and what it found; the last line is "N passed, M failed". The exit status is 1 when any
# scenario failed.
#   scripts/reliability.sh [--files N] [--kills K] [--seed S]
set -euo pipefail
cd "$(dirname "$0")/.."

files=2000
kills=20
seed=$(( $(date +%s) % 1000000000 ))
while [[ $# -gt 0 ]]; do
    case "$1" in
        --files) files=$2; shift 2 ;;
        --kills) kills=$2; shift 2 ;;
        --seed) seed=$2; shift 2 ;;
        *) echo "usage: scripts/reliability.sh [--files N] [--kills K] [--seed S]" >&2; exit 2 ;;
    esac
done

build_dir=$(bash scripts/build.sh | tail -n 1)
export LANG=C.UTF-8 QT_QPA_PLATFORM=offscreen
export ESCHF_RELIABILITY_FILES=$files ESCHF_RELIABILITY_KILLS=$kills ESCHF_RELIABILITY_SEED=$seed
log=$(mktemp)
trap 'rm -f "$log"' EXIT

passed=0
failed=0
# One scenario's line from a QtTest log: its figures when it logged them, and how it ended.
report() { # log, test function, what it tried (when it logged no figures)
    local figures status
    figures=$(sed -n "s/^QINFO *: [A-Za-z]*::$2() figures: //p" "$1" | head -n 1)
    if grep -q "^PASS *: [A-Za-z]*::$2(" "$1" && ! grep -q "^FAIL! *: [A-Za-z]*::$2(" "$1"; then
        status=passed
        passed=$((passed + 1))
    else
        status="FAILED: $(grep -m 1 -A 3 "^FAIL! *: [A-Za-z]*::$2(" "$1" | tr -s ' \n' ' ' || true)"
        [[ "$status" == "FAILED: " ]] && status="FAILED: did not run (see the test's own output)"
        failed=$((failed + 1))
    fi
    echo "${figures:-$3}: $status"
}

echo "$files invoices, $kills kills, seed $seed"
"$build_dir/bin/tst_reliability" >"$log" 2>&1 || true
report "$log" killedAtAnyMoment "killed $kills times during $files files"
report "$log" databaseBusy "write lock held past the busy timeout"
report "$log" writesRefused "writes refused by the database"
report "$log" databaseFileAway "database file moved away and back"
report "$log" twoRunsAtOnce "two runs at once on $files files"

"$build_dir/bin/tst_gui_importrun" closeDuringRun >"$log" 2>&1 || true
moments=$(grep -c "^PASS *: [A-Za-z]*::closeDuringRun(" "$log" || true)
report "$log" closeDuringRun \
    "window closed during a run at $moments moments: no crash, database consistent, the next start loaded the rest"

echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
