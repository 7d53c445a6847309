#!/usr/bin/env bash
# Writes the template of the message catalogs, po/velkan.pot, from the
# messages marked in the sources: _("...") where a message is shown, N_("...")
# where it is only named (a note's identifier), P_("...", "...", n) for a
# message about n things, C_("context", "...") for one translated apart
# from another of the same English. Then brings po/*.po up to the
# new template (msgmerge): new messages come in untranslated, changed ones
# fuzzy, and both must be translated before the catalog test passes.
#
#   scripts/update-pot.sh [--check]
#
# --check writes nothing: exit status 1 when po/velkan.pot is not what the
# sources give (the catalog test runs it so). Also the build target `pot`.
set -euo pipefail
cd "$(dirname "$0")/.."

check=0
[ "${1:-}" = --check ] && check=1

pot() {
  # Sorted by file, without the date of making, so that the template changes
  # only when a message does.
  find src -name '*.cc' -o -name '*.h' | LC_ALL=C sort |
    xgettext --files-from=- --language=C++ --from-code=UTF-8 --keyword=_ --keyword=N_ --keyword=P_:1,2 --keyword=C_:1c,2 \
      --add-comments=TRANSLATORS: --sort-by-file --add-location=file --package-name=velkan --msgid-bugs-address= \
      --omit-header -o -
}

if [ $check = 1 ]; then
  if ! diff -u po/velkan.pot <(pot) >&2; then
    echo "update-pot: po/velkan.pot is not up to date: run scripts/update-pot.sh" >&2
    exit 1
  fi
  exit 0
fi
pot > po/velkan.pot
for po in po/*.po; do
  [ -f "$po" ] || continue
  msgmerge --quiet --update --backup=none --no-fuzzy-matching "$po" po/velkan.pot
done
