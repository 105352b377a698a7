#!/usr/bin/env bash
# Every command block of README.md and docs/ runs as pasted, or says it is an excerpt: the line
# before each block (an indented one) is a marker, and the blocks marked to run are run here, as
# a newcomer runs them, from the repository's folder in a fresh HOME, with the built programs on
# PATH as an installed copy's are:
#   <!-- runs -->                    run here, each must end well
#   <!-- excerpt: why -->            not meant to run alone (a session's output, a file's content,
#                                    a change to the system)
#   <!-- first hour: start -->       README's first hour (readme_first_hour.sh runs it)
#   <!-- windows block: start -->    the Windows leg of the test command runs it
#   docs_blocks.sh SOURCE_DIR BIN_DIR
set -euo pipefail
root=$1 bin=$2
cd "$root"
failed=0 ran=0
for doc in README.md docs/*.md; do
  # Each block: its first line's number, its marker, its lines (an indented run after a blank
  # line, blank lines inside it kept).
  while IFS=$'\t' read -r line marker; do
    block=$(awk -v start="$line" 'NR >= start { if ($0 ~ /^    / || $0 == "") print; else exit }' "$doc" |
      sed 's/^    //')
    case $marker in
      '<!-- runs -->')
        home=$(mktemp -d)
        if ! out=$(env HOME="$home" PATH="$bin:$PATH" bash -euo pipefail -c "$block" 2>&1); then
          echo "$doc:$line: the block fails as pasted:"; echo "$out"; failed=1
        fi
        rm -rf "$home"
        ran=$((ran + 1)) ;;
      '<!-- excerpt: '* | '<!-- first hour: start -->' | '<!-- windows block: start -->') ;;
      *) echo "$doc:$line: a block neither marked to run nor as an excerpt (the line before it: '$marker')"
         failed=1 ;;
    esac
  done < <(awk '
    /<!-- first hour: start -->/ { region = $0 }
    /<!-- first hour: end -->/ { region = "" }
    /^    / && prev == "" && !inblock { print NR "\t" (region != "" ? region : marker); inblock = 1 }
    !/^    / && $0 != "" { inblock = 0; marker = $0 }
    { prev = $0 }' "$doc")
done
echo "$ran blocks run"
exit $failed
