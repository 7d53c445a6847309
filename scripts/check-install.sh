#!/usr/bin/env bash
# Installs a build tree and uses the installation as a user would:
#   scripts/check-install.sh [--hide-build] [--package] [BUILD]   (default: build)
# - `cmake --install` into a DESTDIR below a temporary folder;
# - the installed velkan, run from another folder, prints its version and finds
#   its tables (`tables check`), converts the sample text job
#   (examples/sample.txt) with the installed sample.def and gives
#   examples/sample.txt.out byte for byte, also through a pipe (- and -o -);
#   the installed programs name no folder of the source or build tree;
# - the example consumer (examples/consumer) is built against the installed
#   library and CMake package and converts the sample code-word job;
# --hide-build: the build tree is renamed for all of the above, so nothing can
#   be read from it, and given back its name afterwards, also on failure;
# --package: then `cpack -G DEB` makes the Debian packages, which are listed
#   (dpkg-deb -I, -c) and checked with lintian when it is installed.
# Exit status 0 when everything held; the temporary folder is removed.
set -euo pipefail

hide=0
package=0
while [ $# -gt 0 ]; do
  case $1 in
    --hide-build) hide=1 ;;
    --package) package=1 ;;
    -*) echo "check-install: unknown option $1" >&2; exit 2 ;;
    *) break ;;
  esac
  shift
done
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$source_dir/build}" && pwd)
prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
work=$(mktemp -d "${TMPDIR:-/tmp}/velkan-install.XXXXXX")
hidden=""

cleanup() {
  if [ -n "$hidden" ] && [ -d "$hidden" ]; then mv "$hidden" "$build"; fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

fail() {
  echo "check-install: FAILED: $*" >&2
  exit 1
}

echo "== install into a DESTDIR =="
DESTDIR="$work/root" cmake --install "$build" >"$work/install.log" || { cat "$work/install.log"; fail "cmake --install"; }
installed="$work/root$prefix"
for f in bin/velkan share/velkan/root/qdxfiles/SJIS_ZAN.TBL share/velkan/root/sample.def \
         share/man/man1/velkan.1 share/bash-completion/completions/velkan share/doc/velkan/README.md \
         share/doc/velkan/copyright share/locale/ja/LC_MESSAGES/velkan.mo include/velkan/engine/job.h \
         lib/cmake/velkan/velkanConfig.cmake; do
  [ -e "$installed/$f" ] || fail "$f was not installed"
done
version=$("$build/bin/velkan" --version)

if [ "$hide" = 1 ]; then
  hidden="$build.hidden-$$"
  mv "$build" "$hidden"
  echo "== the build tree is out of reach (renamed) =="
fi

mkdir -p "$work/elsewhere"
cd "$work/elsewhere"
export XDG_STATE_HOME="$work/state"
unset VELKAN_ROOT VELKAN_STORE MTBL LANGUAGE LC_ALL LC_MESSAGES
# The messages checked below are the English ones.
export LANG=C.UTF-8
velkan="$installed/bin/velkan"

echo "== $velkan --version =="
got=$("$velkan" --version)
echo "$got"
[ "$got" = "$version" ] || fail "the installed velkan says '$got', the build '$version'"

echo "== the installed tables =="
"$velkan" tables check >"$work/check.txt" || { cat "$work/check.txt"; fail "tables check"; }
grep -Fx "table root: $installed/share/velkan/root" "$work/check.txt" >/dev/null ||
  { cat "$work/check.txt"; fail "the installation's root was not chosen"; }
grep -F "sample root of the installation" "$work/check.txt"
grep -F "format store: $work/state/velkan/QDXFILES (writable)" "$work/check.txt"

echo "== the sample text job, converted by the installed velkan =="
cp "$source_dir/examples/sample.txt" job.txt
"$velkan" convert --define "$installed/share/velkan/root/sample.def" job.txt -o job.out
cmp job.out "$source_dir/examples/sample.txt.out" || fail "the output differs from examples/sample.txt.out"
"$velkan" convert --text --define "$installed/share/velkan/root/sample.def" - -o - <job.txt >piped.out
cmp piped.out "$source_dir/examples/sample.txt.out" || fail "the output through a pipe differs"
echo "same bytes as examples/sample.txt.out (from a file and through a pipe)"

echo "== no folder of the build machine in the installed programs =="
for program in "$installed"/bin/*; do
  for dir in "$source_dir" "$build"; do
    if strings -a "$program" | grep -F "$dir" >/dev/null; then
      strings -a "$program" | grep -F "$dir" | head -5
      fail "$program names $dir"
    fi
  done
done
echo "none named"

echo "== the example consumer, built against the installed library =="
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
cmake -S "$source_dir/examples/consumer" -B "$work/consumer" "${generator[@]}" \
  -DCMAKE_PREFIX_PATH="$installed" -DCMAKE_BUILD_TYPE=Release >"$work/consumer.log" ||
  { cat "$work/consumer.log"; fail "configuring the consumer"; }
cmake --build "$work/consumer" >>"$work/consumer.log" || { cat "$work/consumer.log"; fail "building the consumer"; }
VELKAN_STORE="$work/state/consumer" "$work/consumer/velkan_consumer" "$installed/share/velkan/root" \
  "$source_dir/examples/sample.zan" consumer.out "$installed/share/velkan/root/sample.def"
cmp consumer.out "$source_dir/examples/sample.zan.out" || fail "the consumer's output differs from examples/sample.zan.out"
echo "same bytes as examples/sample.zan.out"

cd "$work"
if [ -n "$hidden" ]; then
  mv "$hidden" "$build"
  hidden=""
fi

if [ "$package" = 1 ]; then
  echo "== Debian packages (cpack -G DEB) =="
  (cd "$build" && cpack -G DEB -B "$work/packages" >"$work/cpack.log") || { cat "$work/cpack.log"; fail "cpack"; }
  for deb in "$work"/packages/*.deb; do
    echo "-- $(basename "$deb")"
    dpkg-deb -I "$deb"
    dpkg-deb -c "$deb"
  done
  dpkg-deb -c "$work"/packages/velkan_*.deb | grep -E ' \./usr/bin/velkan$' >/dev/null || fail "no usr/bin/velkan in the package"
  dpkg-deb -c "$work"/packages/velkan_*.deb | grep -E ' \./usr/share/locale/ja/LC_MESSAGES/velkan\.mo$' >/dev/null ||
    fail "no Japanese message catalog in the package"
  dpkg-deb -f "$work"/packages/velkan_*.deb Depends | grep libc6 >/dev/null || fail "the package has no Depends on libc6"
  if command -v lintian >/dev/null; then
    echo "== lintian =="
    # Errors fail the check; warnings are shown.
    lintian --fail-on error "$work"/packages/*.deb || fail "lintian found errors"
  else
    echo "(lintian is not installed: the packages were not checked)"
  fi
fi
echo "check-install: everything held"
