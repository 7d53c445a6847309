#!/bin/bash
# Takes the screenshots of the desktop dialog shown in the README: the main
# dialog with a sample job filled in, and the progress dialog after that job
# has been converted. Runs velkan-gui under a virtual X server with a small
# window manager, so the windows carry their title bars.
#
# usage: docs/screenshots.sh [BUILD_DIR]     (default: build)
# needs: the Debian packages of docs/packages.txt (a virtual X server, a window
#        manager, xdotool, imagemagick, a Japanese font):
#        sudo apt-get install $(grep -v '^#' docs/packages.txt)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$here")

if [[ "${1:-}" == "--inside" ]]; then
  gui=$2 demo=$3 out=$4
  openbox >/dev/null 2>&1 &
  wm=$!
  sleep 1
  QT_QPA_PLATFORM=xcb "$gui" >/dev/null 2>&1 &
  app=$!
  trap 'kill $app $wm 2>/dev/null || true' EXIT
  main=$(xdotool search --sync --name '^VELKAN変換$' | head -n1)
  sleep 1
  import -frame -window "$main" "$out/main-dialog.png"
  # Enter presses the default button, Convert.
  xdotool windowactivate --sync "$main" key Return
  progress=$(xdotool search --sync --name '^変換処理$' | head -n1)
  sleep 2.5
  import -frame -window "$progress" "$out/progress-dialog.png"
  xdotool windowactivate --sync "$progress" key Return
  sleep 0.5
  test -s "$demo/jobs/sample.out.txt"
  exit 0
fi

build=${1:-build}
gui="$(cd "$build" && pwd)/bin/velkan-gui"
[[ -x "$gui" ]] || { echo "screenshots.sh: $gui not found; build first" >&2; exit 1; }
for tool in xvfb-run openbox xdotool import; do
  command -v "$tool" >/dev/null || { echo "screenshots.sh: $tool is missing" >&2; exit 1; }
done

# A sample job in a folder of its own, with readable paths for the picture.
demo=/tmp/velkan-demo
[[ -e "$demo" ]] && { echo "screenshots.sh: $demo exists; remove it first" >&2; exit 1; }
mkdir -p "$demo/jobs" "$demo/config/velkan" "$demo/tables/qdxfiles"
trap 'rm -rf "$demo"' EXIT
# The bundled sample tables when the build has compiled them, else the one file a
# pass cannot do without.
if [[ -d "$repo/build/root" ]]; then
  cp -r "$repo/build/root/." "$demo/tables/"
fi
[[ -e "$demo/tables/qdxfiles/pifont.fil" ]] || head -c 1000 /dev/zero > "$demo/tables/qdxfiles/pifont.fil"
# A size group (12), one character and a line end.
printf '\xD0\x03\xD0\x52\xC3\x41\xC3\x42\xD0\x04\x45\xA1\xD0\x09' > "$demo/jobs/sample.zan"
cat > "$demo/config/velkan/velkan.ini" <<INI
[VELKAN]
UDFFile=
InputFile=$demo/jobs/sample.zan
OutputFile=$demo/jobs/sample.out.txt
DefineFile=
Editer=gedit
Kumi=1
Unit=0
Warning=0
EditerBoot=0
INI

export XDG_CONFIG_HOME="$demo/config" VELKAN_ROOT="$demo/tables" HOME="$demo"
export LANG=C.UTF-8
xvfb-run -a -s "-screen 0 800x600x24" "$0" --inside "$gui" "$demo" "$here"
echo "wrote $here/main-dialog.png and $here/progress-dialog.png"
