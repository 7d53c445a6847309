#!/bin/bash
# Takes the screenshots of the desktop dialog shown in the README: the main
# dialog filled in for the sample text job (examples/sample.txt with the
# sample definition file), and the progress dialog once that job has been
# converted. Runs velkan-gui under a virtual X server with a small window
# manager, so the windows carry their title bars.
#
# The pictures are always taken the same way: in the locale ja_JP.UTF-8
# (made with localedef into a folder of the demo when the machine lacks it),
# with the sample tables the build compiled (BUILD_DIR/root, the root a
# program of the build tree reads), the format store in a folder of the demo,
# on a screen of 800x600.
#
# usage: docs/screenshots.sh [BUILD_DIR]     (default: build)
# needs: the Debian packages of docs/packages.txt (a virtual X server, a window
#        manager, xdotool, imagemagick, a Japanese font, the locale sources):
#        apt-get install $(grep -v '^#' docs/packages.txt)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$here")
locale_name=ja_JP.UTF-8
screen=800x600x24
# The main dialog's width in the picture: wider than it opens, so that the
# sample's paths show whole.
main_width=520

fail() {
  echo "screenshots.sh: $*" >&2
  exit 1
}

if [[ "${1:-}" == "--inside" ]]; then
  gui=$2 demo=$3 out=$4
  openbox >/dev/null 2>&1 &
  wm=$!
  sleep 1
  QT_QPA_PLATFORM=xcb "$gui" >"$demo/gui.log" 2>&1 &
  app=$!
  trap 'kill $app $wm 2>/dev/null || true' EXIT
  main=$(xdotool search --sync --name '^VELKAN変換$' | head -n1)
  # Widened so that every path shows whole.
  eval "$(xdotool getwindowgeometry --shell "$main")"
  xdotool windowsize --sync "$main" "$main_width" "$HEIGHT"
  sleep 1
  import -frame -window "$main" "$out/main-dialog.png"
  # Enter presses the default button, 変換.
  xdotool windowactivate --sync "$main" key Return
  progress=$(xdotool search --sync --name '^変換処理$' | head -n1)
  # The job is done when its output is there and the dialog has settled.
  for _ in $(seq 100); do
    [[ -s "$demo/jobs/sample.out.txt" ]] && break
    sleep 0.1
  done
  sleep 2
  import -frame -window "$progress" "$out/progress-dialog.png"
  xdotool search --name '^組版メッセージ$' >/dev/null && fail "the job ended with a message box"
  xdotool windowactivate --sync "$progress" key Return
  sleep 0.5
  cmp -s "$demo/jobs/sample.out.txt" "$repo/examples/sample.txt.out" ||
    fail "the conversion of the sample text job differs from examples/sample.txt.out"
  exit 0
fi

build=${1:-build}
[[ -d "$build" ]] || fail "$build: no build folder; build first"
build=$(cd "$build" && pwd)
gui="$build/bin/velkan-gui"
root="$build/root"
[[ -x "$gui" ]] || fail "$gui not found; build first (Qt 6 is needed for the dialog)"
[[ -e "$root/qdxfiles/pifont.fil" && -e "$root/sample.def" ]] ||
  fail "$root holds no sample tables; build first"
for tool in xvfb-run openbox xdotool import fc-list; do
  command -v "$tool" >/dev/null || fail "$tool is missing (see docs/packages.txt)"
done
# Without a Japanese font every label would show as empty boxes.
[[ -n "$(fc-list :lang=ja family)" ]] ||
  fail "no Japanese font is installed: apt-get install fonts-noto-cjk (or fonts-ipafont-gothic)"

# The sample job in a folder of its own, with readable paths for the picture.
demo=/tmp/velkan-demo
[[ -e "$demo" ]] && fail "$demo exists; remove it first"
mkdir -p "$demo/jobs" "$demo/config/velkan" "$demo/state"
trap 'rm -rf "$demo"' EXIT
cp "$repo/examples/sample.txt" "$demo/jobs/sample.txt"
cp "$root/sample.def" "$demo/jobs/sample.def"
cat > "$demo/config/velkan/velkan.ini" <<INI
[VELKAN]
UDFFile=
InputFile=$demo/jobs/sample.txt
OutputFile=$demo/jobs/sample.out.txt
DefineFile=$demo/jobs/sample.def
Editer=
Kumi=0
Unit=0
Warning=0
EditerBoot=0
InputEncoding=0
INI

# The locale, compiled here when the machine has none of that name.
if ! locale -a 2>/dev/null | grep -qix 'ja_JP\.utf-\?8'; then
  command -v localedef >/dev/null || fail "localedef is missing (package locales)"
  mkdir -p "$demo/locale"
  # localedef says 1 for warnings of the sources, having made the locale.
  localedef -i ja_JP -f UTF-8 "$demo/locale/$locale_name" >/dev/null 2>&1 || [[ $? == 1 ]]
  [[ -e "$demo/locale/$locale_name/LC_CTYPE" ]] ||
    fail "cannot make the locale $locale_name (the package locales has its sources)"
  export LOCPATH="$demo/locale"
fi

# The dialog reads the build's root (no VELKAN_ROOT) and keeps the format
# store in the demo's state folder.
unset VELKAN_ROOT VELKAN_STORE MTBL LANGUAGE LC_ALL LC_MESSAGES
export XDG_CONFIG_HOME="$demo/config" XDG_STATE_HOME="$demo/state" HOME="$demo"
export LANG=$locale_name
echo "screenshots.sh: locale $LANG, table root $root, screen $screen"
xvfb-run -a -s "-screen 0 $screen" "$0" --inside "$gui" "$demo" "$here"
echo "wrote $here/main-dialog.png and $here/progress-dialog.png"
