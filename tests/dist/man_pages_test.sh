#!/usr/bin/env bash
# The manual pages render with groff without a warning, and velkan.1
# describes every option the --help texts of velkan name.
#   man_pages_test.sh VELKAN MANDIR
set -euo pipefail
velkan=$1
mandir=$2
status=0

if command -v groff >/dev/null; then
  for page in "$mandir"/*.1; do
    warnings=$(groff -man -ww -Tutf8 "$page" 2>&1 >/dev/null)
    if [ -n "$warnings" ]; then
      echo "$page renders with warnings:"
      echo "$warnings"
      status=1
    fi
  done
else
  echo "groff is not installed: the pages were not rendered"
fi

# An option of a help text: a word of -x or --long-name after a blank, "[",
# "(" or "," (so "code-word" is none).
page=$(sed 's/\\-/-/g' "$mandir/velkan.1")
for help in "--help" "convert --help" "dump --help" "tables --help"; do
  # shellcheck disable=SC2086
  options=$("$velkan" $help | grep -oE '(^|[[ ,(])--?[a-zA-Z][a-zA-Z-]*' | sed 's/^[[ ,(]//' | sort -u)
  [ -n "$options" ] || { echo "velkan $help names no option"; status=1; }
  for option in $options; do
    if ! grep -qE -- "(^|[^a-zA-Z-])${option}([^a-zA-Z-]|$)" <<<"$page"; then
      echo "velkan.1 does not describe $option (named by velkan $help)"
      status=1
    fi
  done
done
exit $status
