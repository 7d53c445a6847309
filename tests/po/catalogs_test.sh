#!/usr/bin/env bash
# The message catalogs are whole and valid: po/velkan.pot is what the sources
# give (scripts/update-pot.sh --check), every message of each catalog is
# translated (none empty, none fuzzy) and the catalog compiles with
# `msgfmt --check` (the places of a translation match its message).
#
#   tests/po/catalogs_test.sh SOURCE_DIR
set -euo pipefail
src=${1:?usage: catalogs_test.sh SOURCE_DIR}
cd "$src"
status=0
scripts/update-pot.sh --check || status=1
for po in po/*.po; do
  if ! msgfmt --check -o /dev/null "$po"; then
    echo "catalogs: $po does not compile" >&2
    status=1
  fi
  untranslated=$(msgattrib --untranslated --no-obsolete "$po")
  fuzzy=$(msgattrib --only-fuzzy --no-obsolete "$po")
  if [ -n "$untranslated" ] || [ -n "$fuzzy" ]; then
    echo "catalogs: $po has messages without a translation, or fuzzy:" >&2
    printf '%s\n%s\n' "$untranslated" "$fuzzy" >&2
    status=1
  fi
  # Every message of the template is in the catalog.
  missing=$(msgcomm --less-than=2 --no-location po/velkan.pot "$po" | msgattrib --no-obsolete --untranslated)
  if [ -n "$missing" ]; then
    echo "catalogs: $po lacks messages of po/velkan.pot (run scripts/update-pot.sh):" >&2
    printf '%s\n' "$missing" >&2
    status=1
  fi
done
exit $status
