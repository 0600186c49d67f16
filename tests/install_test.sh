#!/usr/bin/env bash
# Installation and the Debian package: `cmake --install` puts every program in
# bin/ with its compressed man page in share/man/man1/, the README, the
# copyright file and answer files in share/doc/kovaconv/, and the Python module
# where the prefix's Python finds it; the package made by cpack passes lintian
# without an error, installs with dpkg (into a scratch root, so no root rights
# are needed and the machine is not changed), its kovaconv answers --version
# and its module imports, and it is removed without leaving a file.
# Usage: install_test.sh BUILD_DIR SOURCE_DIR VERSION
set -euo pipefail
build=$1 src=$2 version=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "install_test: $*" >&2; exit 1; }

prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
for page in "$src"/man/*.1; do
  installed=$prefix/share/man/man1/$(basename "$page").gz
  [ -f "$installed" ] || fail "man page $(basename "$page") not installed"
  gzip -dc "$installed" | cmp -s - "$page" || fail "$installed is not $(basename "$page") compressed"
done
programs=0
for program in "$prefix"/bin/*; do
  programs=$((programs + 1))
  [ -f "$prefix/share/man/man1/$(basename "$program").1.gz" ] || fail "$(basename "$program") has no man page"
done
[ "$programs" -ge 2 ] || fail "expected kovaconv and kovagen in bin/, found $programs programs"
for doc in README.md copyright changelog.gz examples/answers-atlas.txt examples/answers-tecplot.txt examples/session.txt; do
  [ -f "$prefix/share/doc/kovaconv/$doc" ] || fail "$doc not installed"
done
[ "$("$prefix/bin/kovaconv" --version)" = "kovaconv $version" ] || fail "installed kovaconv --version"

# The Python module, when built, goes where the prefix's Python finds it: for
# ~/.local the user's site, which Debian's Python reads without PYTHONPATH.
module=$(ls "$build"/tools/python/kova.*.so 2>/dev/null || true)
if [ -n "$module" ]; then
  home=$scratch/home
  cmake --install "$build" --prefix "$home/.local" >/dev/null
  "$build/kovagen" --nodes 16 --steps 2 --dir "$scratch/sample" >/dev/null
  steps=$(cd "$scratch/sample" && env -u PYTHONPATH HOME="$home" /usr/bin/python3 -c \
    "import kova; print(kova.open('result.bin').steps)") || fail "import kova from the user's site"
  [ "$steps" = "[(1, 60.0), (2, 86400.0)]" ] || fail "kova.open(...).steps from the user's site: $steps"
fi

if ! command -v dpkg >/dev/null || ! command -v cpack >/dev/null; then
  echo "install_test: dpkg or cpack missing: Debian package not checked"
  exit 0
fi
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/pkg" >/dev/null
deb=$(echo "$scratch"/pkg/*.deb)
[ -f "$deb" ] || fail "cpack made no .deb"
if command -v lintian >/dev/null; then
  # Errors fail the test; warnings and notes are shown.
  lintian --tag-display-limit 0 "$deb" >"$scratch/lintian.log" 2>&1 || true
  grep -v 'running with root privileges' "$scratch/lintian.log" || true
  ! grep -q '^E: ' "$scratch/lintian.log" || fail "lintian reports errors on the package"
else
  echo "install_test: lintian missing: the package's Debian checks skipped"
fi
root=$scratch/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
# The libraries it depends on are not in the scratch root's package list.
dpkg --root="$root" --force-not-root --force-depends --install "$deb" >/dev/null 2>&1 \
  || fail "dpkg --install failed"
[ "$("$root/usr/bin/kovaconv" --version)" = "kovaconv $version" ] || fail "packaged kovaconv --version"
[ -f "$root/usr/share/man/man1/kovaconv.1.gz" ] || fail "package has no kovaconv.1.gz"
[ -f "$root/usr/share/doc/kovaconv/copyright" ] || fail "package has no copyright file"
if [ -n "$module" ]; then
  dpkg-deb -f "$deb" Depends | grep -q 'python3-numpy' || fail "the package does not depend on python3-numpy"
  (cd "$scratch/sample" && PYTHONPATH="$root/usr/lib/python3/dist-packages" /usr/bin/python3 -c "import kova") \
    || fail "the packaged module does not import from dist-packages"
fi
dpkg --root="$root" --force-not-root --remove kovaconv >/dev/null || fail "dpkg --remove failed"
left=$(cd "$root" && find . -path ./var/lib/dpkg -prune -o -print | grep -v -x -e . -e ./var -e ./var/lib || true)
[ -z "$left" ] || fail "left after removal: $left"
echo "install_test: installed tree, package install and removal checked"
