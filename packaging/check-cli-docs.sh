#!/usr/bin/env bash
# Checks the generated manual page and bash completion of quillmar-cli: the page formats without a
# warning and names every command of the program's help; the completion offers commands, options
# and option values as the command table says.
#   check-cli-docs.sh MANPAGE COMPLETION PROGRAM
set -uo pipefail
man_page=$1 completion=$2 program=$3
fail=0
problem() { echo "problem: $*"; fail=1; }

warnings=$(groff -man -ww -z -Tutf8 "$man_page" 2>&1)
[ -z "$warnings" ] || problem "groff warns about $man_page: $warnings"
rendered=$(groff -man -Tutf8 -P -cbou "$man_page" 2>/dev/null)
# Every command of the program's own help is in the page.
for command in $("$program" --help | sed -n '/^Commands:/,/^$/p' | awk 'NR > 1 && NF { print $1 }'); do
  grep -q -- "^   $command" <<<"$rendered" || problem "the manual page has no section for $command"
done
grep -q -- "--replace-unencodable" <<<"$rendered" || problem "the manual page lacks the options of import"

# shellcheck source=/dev/null
source "$completion"
complete_line() {  # the words typed, the last one being completed
  COMP_WORDS=("$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _quillmar_cli
  echo "${COMPREPLY[*]}"
}
[[ " $(complete_line quillmar-cli imp) " == *" import "* ]] || problem "no command completion"
[[ " $(complete_line quillmar-cli import Main f.csv --dry) " == *" --dry-run "* ]] || problem "no option completion"
[[ "$(complete_line quillmar-cli import Main f.csv --format '')" == "keepassxc bitwarden csv" ]] ||
  problem "no value completion for --format: $(complete_line quillmar-cli import Main f.csv --format '')"
[[ "$(complete_line quillmar-cli export Main --format j)" == "json" ]] || problem "no value completion for export"
complete -p quillmar-cli >/dev/null 2>&1 || problem "the completion is not registered"
[ $fail -eq 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"
exit $fail
