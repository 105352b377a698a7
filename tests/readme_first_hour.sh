#!/usr/bin/env bash
# The README's first-hour block, run as a newcomer would run it (its build lines left out: the
# build is there already): three simulated units, a profile applied and verified on all three.
set -euo pipefail
root=$1
cd "$root"
block=$(sed -n '/<!-- first hour: start -->/,/<!-- first hour: end -->/p' README.md |
  sed -n '/^    /s/^    //p' | grep -v -E '^(scripts/install-deps|cmake) ')
[[ -n $block ]] || { echo "no first-hour block in README.md"; exit 1; }
out=$(bash -euo pipefail -c "$block" 2>&1) || { echo "$out"; exit 1; }
echo "$out"
grep -q '^3 units: 3 applied, 0 failed$' <<<"$out"
grep -q '^3 units: 3 match, 0 differ, 0 failed$' <<<"$out"
