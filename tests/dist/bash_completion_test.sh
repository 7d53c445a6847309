#!/usr/bin/env bash
# The bash completion of velkan completes its commands, every option of
# `velkan convert --help`, and files by kind.
#   bash_completion_test.sh VELKAN COMPLETION_FILE
# Skipped (77) without the bash-completion package.
velkan=$1
completion=$2
export LC_ALL=C
framework=/usr/share/bash-completion/bash_completion
[ -r "$framework" ] || { echo "bash-completion is not installed"; exit 77; }
# shellcheck disable=SC1090
source "$framework"
# shellcheck disable=SC1090
source "$completion"
set -uo pipefail

# What completing the last word of the arguments offers, one per line, sorted.
offers() {
  COMP_WORDS=(velkan "$@")
  COMP_CWORD=$(($# ))
  COMP_LINE="velkan $*"
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  _velkan velkan "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}" 2>/dev/null
  printf '%s\n' "${COMPREPLY[@]}" | sort
}

status=0
expect() {
  local want=$1
  shift
  local got
  got=$(offers "$@" | tr '\n' ' ')
  if [ "$got" != "$want" ]; then
    echo "velkan $* <TAB> offers '$got', expected '$want'"
    status=1
  fi
}

dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir" || exit 1
mkdir jobs
touch a.zan B.TXT c.def d.out

expect "convert " co
expect "dump " d
expect "build check dump " tables ""
expect "Q pt " convert --unit ""
expect "B.TXT a.zan jobs " convert ""
expect "c.def jobs " convert --define ""
expect "jobs " convert a.zan --root ""
expect "jobs " convert a.zan --out-dir ""
expect "B.TXT a.zan jobs " convert --udf ""

# Every option of the help text is offered.
offered=$(offers convert -)
for option in $("$velkan" convert --help | grep -oE '(^|[[ ,(])--?[a-zA-Z][a-zA-Z-]*' | sed 's/^[[ ,(]//' | sort -u); do
  grep -qx -- "$option" <<<"$offered" || { echo "velkan convert - <TAB> does not offer $option"; status=1; }
done
exit $status
