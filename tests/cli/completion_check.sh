#!/usr/bin/env bash
# holescan-cli's bash completion, as bash-completion loads it: option names, the values of
# --face and --holes, and file names after an output option. Skipped (77) without
# bash-completion.
set -uo pipefail
completion=${1:?usage: completion_check.sh COMPLETION_FILE}
framework=/usr/share/bash-completion/bash_completion
[ -r "$framework" ] || { echo "bash-completion is not installed"; exit 77; }
# shellcheck source=/dev/null
source "$framework"
# shellcheck source=/dev/null
source "$completion"
complete_line() {
  COMP_LINE=$1
  COMP_POINT=${#COMP_LINE}
  read -r -a COMP_WORDS <<<"$COMP_LINE"
  [[ $COMP_LINE == *" " ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _holescan_cli holescan-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  echo "${COMPREPLY[*]}"
}
failed=0
expect() {
  local got
  got=$(complete_line "$1")
  [ "$got" = "$2" ] || { echo "'$1<TAB>': got '$got', expected '$2'"; failed=1; }
}
expect "holescan-cli --fa" "--face"
expect "holescan-cli --face " "auto issf-air-rifle issf-air-pistol issf-50m-rifle issf-25m-precision-pistol issf-25m-rapid-fire-pistol issf-300m-rifle nra-a17"
expect "holescan-cli --face issf-air-p" "issf-air-pistol"
expect "holescan-cli --holes " "auto dark light"
expect "holescan-cli --calibre 4" "4.5mm"
expect "holescan-cli --dpi " ""
cd "$(mktemp -d)" && touch scan.png notes.txt && mkdir out
expect "holescan-cli --calibre 4.5mm s" "scan.png"
expect "holescan-cli --csv n" "notes.txt"
exit "$failed"
