#!/usr/bin/env bash
# Builds the Debian package from an existing build folder, checks its
# dependencies and contents, installs it, runs the installed program on the
# bundled sample against the golden output, and removes it again. Installing
# needs root (or sudo). Usage: scripts/check-package.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"

fail() {
  echo "check-package: $*" >&2
  exit 1
}

echo "-- manual pages (mandoc -T lint, warnings are errors)"
mandoc -T lint -W warning src/shell/console/skelmar.1 src/sender/vantry.1
if command -v groff >/dev/null; then
  for page in src/shell/console/skelmar.1 src/sender/vantry.1; do
    warnings=$(groff -ww -t -man -Tutf8 -z "$page" 2>&1)
    [ -z "$warnings" ] || fail "groff -ww on $page: $warnings"
  done
fi

echo "-- package"
cmake --build "$build" -j "$(nproc)" --target skelmar vantry
rm -rf "$build/package"
(cd "$build" && cpack -G DEB -B package >/dev/null)
debs=("$build"/package/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one .deb in $build/package"
deb="${debs[0]}"
dpkg-deb -I "$deb"

# Dependencies come from dpkg-shlibdeps: the libraries the programs link.
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libstdc++6 libsndfile1 libasound2; do
  grep -q "\b$lib\b" <<<"$depends" || fail "Depends lacks $lib: $depends"
done

contents=$(dpkg-deb -c "$deb")
echo "$contents"
for f in usr/bin/skelmar usr/bin/vantry usr/share/man/man1/skelmar.1 \
         usr/share/man/man1/vantry.1 usr/share/doc/skelmar/README.md \
         usr/share/doc/skelmar/receiver-setup.md usr/share/doc/skelmar/Skelmar.INI.example \
         usr/share/doc/skelmar/samples/mixed-traffic.edges; do
  grep -q " \./$f\$" <<<"$contents" || fail "the package lacks /$f"
done
if grep -qE ' \./usr/(include|lib)/|gtest|_test|bench' <<<"$contents"; then
  fail "the package holds build or test files"
fi

echo "-- install, run, remove"
$sudo dpkg -i "$deb"
trap '$sudo dpkg -r skelmar >/dev/null 2>&1 || true' EXIT
[ -x /usr/bin/skelmar ] && [ -x /usr/bin/vantry ] || fail "dpkg -i installed no programs"
mandoc -T lint -W warning /usr/share/man/man1/skelmar.1
work=$(mktemp -d)
printf '[Skelmar]\n' >"$work/empty.ini"
LC_ALL=C TZ=UTC /usr/bin/skelmar --replay /usr/share/doc/skelmar/samples/mixed-traffic.edges \
  --four-level --config "$work/empty.ini" --start-time 2026-01-01T00:00:00Z --color=never -q \
  >"$work/out.txt"
cmp tests/golden/expected/mixed-traffic.txt "$work/out.txt" ||
  fail "the installed program's lines differ from tests/golden/expected/mixed-traffic.txt"
rm -rf "$work"
$sudo dpkg -r skelmar
trap - EXIT
[ ! -e /usr/bin/skelmar ] && [ ! -e /usr/share/man/man1/skelmar.1 ] || fail "dpkg -r left files"
echo "package checked: $deb"
