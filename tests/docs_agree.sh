#!/usr/bin/env bash
# kv306ctl's --help, its man page and README list the same exit codes (the help text is made
# from the program's own table; the two documents are checked against it), and kv306-sim's man
# page names every option and fault the simulator knows.
#   docs_agree.sh SOURCE_DIR KV306CTL
set -euo pipefail
root=$1 ctl=$2
codes() { grep -o -E '\b[0-9]{1,3}\b' | sort -n -u | tr '\n' ' '; }
help=$("$ctl" --help | sed -n '/^Exit codes:/,/^$/p' | sed -E 's/^  ([0-9, ]+)  .*/\1/;t;d' | codes)
man=$(sed -n '/^\.SH "EXIT STATUS"/,/^\.PP/p' "$root/dist/kv306ctl.1" | grep -E '^\.BR? [0-9]' | codes)
readme=$(sed -n '/^| code | meaning |/,/^$/p' "$root/README.md" | sed -E 's/^\| ([0-9, ]+) \|.*/\1/;t;d' | codes)
echo "help:   $help"
echo "man:    $man"
echo "README: $readme"
[[ -n $help && $help == "$man" && $help == "$readme" ]] || { echo "the exit codes disagree"; exit 1; }
# kv306-sim's man page names every option and every fault the program knows.
sim=$(dirname "$ctl")/kv306-sim
if [[ -x $sim ]]; then
  page=$(sed 's/\\-/-/g' "$root/dist/kv306-sim.1")
  for word in $("$sim" --help | grep -o -E -- '--[a-z-]+' | sort -u) \
              $("$sim" --help | sed -n 's/.*--fault NAME *misbehave: //p'); do
    [[ $word == none ]] && continue
    grep -q -- "$word" <<<"$page" || { echo "kv306-sim(1) does not name $word"; exit 1; }
  done
fi
