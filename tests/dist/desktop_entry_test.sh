#!/usr/bin/env bash
# The desktop entry of the dialog is valid, names the dialog in English and
# Japanese, and its icon is there.   desktop_entry_test.sh DIST_DIR
set -euo pipefail
dist=$1
entry="$dist/velkan-gui.desktop"
status=0
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$entry" || status=1
else
  echo "desktop-file-validate is not installed: the entry was not validated"
fi
for line in '^Name=' '^Name\[ja\]=' '^Exec=velkan-gui$' '^Categories=.*Office;' '^Icon=velkan-gui$'; do
  grep -qE "$line" "$entry" || { echo "$entry has no line $line"; status=1; }
done
grep -q '<svg ' "$dist/velkan-gui.svg" || { echo "velkan-gui.svg is no SVG picture"; status=1; }
exit $status
