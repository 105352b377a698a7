#!/usr/bin/env bash
# kv306ctl's --help, its man page and README list the same exit codes: the help text is made
# from the program's own table, the two documents are checked against it.
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
[[ -n $help && $help == "$man" && $help == "$readme" ]]
