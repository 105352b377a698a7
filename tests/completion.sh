#!/usr/bin/env bash
# kv306ctl's bash completion, Tab pressed as bash presses it: COMP_WORDS split at "=" as bash's
# default COMP_WORDBREAKS splits them, and the reply read back.
set -euo pipefail
completion=$1
ctl=$2
source "$completion"
fail=0
# press LINE EXPECTED...: completes the end of LINE with kv306ctl standing for the program.
press() {
  local line=$1
  shift
  COMP_LINE="kv306ctl $line"
  COMP_POINT=${#COMP_LINE}
  # bash's own splitting: spaces, and "=" as a word of its own.
  local spaced=${line//=/ = }
  read -ra COMP_WORDS <<<"$spaced"
  COMP_WORDS=("$ctl" "${COMP_WORDS[@]}")
  [[ $line == *' ' || $line == *= ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _kv306ctl
  local got="${COMPREPLY[*]}" want="$*"
  if [[ $got != "$want" ]]; then
    echo "kv306ctl $line<Tab>: got '$got', want '$want'"
    fail=1
  fi
}
ports=$(mktemp -d)
trap 'rm -rf "$ports"' EXIT
ln -s /dev/null "$ports/COM3"
ln -s /dev/null "$ports/COM12"
export KV306_PORT_DIR=$ports
cd "$ports"  # no files here to complete as device paths but the two links
press 'set standard=' PAL NTSC
press 'set outside=r' remove
press 'write horizontal=1 roundness=' 0 1 2 3
press 'set st' standard=
press 'to' toggle
press 'st' step station store
press 'station line.json --o' --once --operator
press 're' read report
press 'station line.json --operator ann --sc' --scan
press 'step size ' up down
press '--port ' COM3 COM12 COM12 COM3
press '--port C' COM3 COM12 COM12 COM3
# A profile's command offers profiles and folders, not every file.
mkdir -p "$ports/profiles"
touch "$ports/line.json" "$ports/notes.txt" "$ports/shift.csv"
press 'apply ' profiles line.json
press 'report ' profiles shift.csv
press 'write --from l' line.json
press '--port rf' rfc2217://
press 'read --port so' socket://
exit $fail
