#!/usr/bin/env bash
# kv306ctl's --help, its man page and README list the same exit codes and the same commands (the
# help text is made from the program's own table; the documents are checked against it), and
# kv306-sim's man page names every option and fault the simulator knows.
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
# And each code's meaning word for word: "CODES|MEANING" a line, from the help's table (a row
# runs on over indented lines), README's table and the man page's items.
help_rows=$("$ctl" --help | sed -n '/^Exit codes:/,/^$/p' | awk '
  /^  [0-9]/ { if (row != "") print row; match($0, /^  [0-9, ]*[0-9]/); codes = substr($0, 3, RLENGTH - 2)
               rest = substr($0, RLENGTH + 1); sub(/^ +/, "", rest); row = codes "|" rest; next }
  /^    / { line = $0; sub(/^ +/, "", line); row = row " " line }
  END { if (row != "") print row }')
readme_rows=$(sed -n '/^| code | meaning |/,/^$/p' "$root/README.md" | sed -n -E 's/^\| ([0-9, ]+) \| (.*) \|$/\1|\2/p')
man_rows=$(sed -n '/^\.SH "EXIT STATUS"/,/^\.PP/p' "$root/dist/kv306ctl.1" | awk '
  /^\.TP/ { if (row != "") print row; row = ""; head = 1; next }
  /^\.PP/ { if (row != "") print row; row = ""; exit }
  head { codes = $0; sub(/^\.BR? /, "", codes); gsub(/ ", " /, ", ", codes); row = codes "|"; head = 0; next }
  row != "" { row = (row ~ /\|$/) ? row $0 : row " " $0 }')
for docs in readme man; do
  rows=${docs}_rows
  [[ ${!rows} == "$help_rows" ]] || {
    echo "the exit codes' meanings in $docs differ from --help:"
    diff <(echo "$help_rows") <(echo "${!rows}") || true
    exit 1
  }
done
# The same commands in --help (the program's own table), the man page's COMMANDS (each item's
# first word), README's list and the bash completion.
words() { tr ' ' '\n' | grep -v '^$' | sort -u | tr '\n' ' '; }
help_commands=$("$ctl" --help | sed -n '/^Commands:/,/^$/p' | sed -n -E 's/^  ([a-z]+)( .*)?$/\1/p' | words)
man_commands=$(sed -n '/^\.SH COMMANDS/,/^\.SH /p' "$root/dist/kv306ctl.1" | sed -n '/^\.TP/{n;p}' |
  sed -n -E 's/^\.B[IR]? ([a-z]+).*/\1/p' | words)
readme_commands=$(grep '^The commands are ' -A2 "$root/README.md" | grep -o '`[a-z]*`' | tr -d '`' | words)
completion_commands=$(sed -n 's/^ *local commands="\(.*\)"/\1/p' "$root/dist/kv306ctl.bash-completion" | words)
echo "commands: help: $help_commands"
echo "          man: $man_commands"
echo "          README: $readme_commands"
echo "          completion: $completion_commands"
for other in "$man_commands" "$readme_commands" "$completion_commands"; do
  [[ -n $help_commands && $other == "$help_commands" ]] || { echo "the commands disagree"; exit 1; }
done

# kv306-sim's man page names every option and every fault the program knows.
sim=$(dirname "$ctl")/kv306-sim
if [[ -x $sim ]]; then
  page=$(sed 's/\\-/-/g' "$root/dist/kv306-sim.1")
  for word in $("$sim" --help | grep -o -E -- '--[a-z-]+' | sort -u) \
              $("$sim" --help | awk '/--fault NAME/ { sub(/.*misbehave: /, ""); print; on = 1; next }
                                     on && /^      +[a-z]/ { print; next } { on = 0 }'); do
    [[ $word == none ]] && continue
    grep -q -- "$word" <<<"$page" || { echo "kv306-sim(1) does not name $word"; exit 1; }
  done
fi
