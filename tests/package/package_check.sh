#!/usr/bin/env bash
# The Debian package of a build folder: made with cpack, unpacked into a scratch root with
# dpkg -x, and checked there: the files every user expects in their places, the manual pages
# read without warnings, and the installed holescan-cli runs.
set -euo pipefail
build=${1:?usage: package_check.sh BUILD_DIR}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log" >&2
  exit 1
fi
deb=$(find "$scratch/out" -maxdepth 1 -name '*.deb')
echo "package: $(basename "$deb"), $(du -k "$deb" | cut -f1) KiB"
dpkg-deb -f "$deb" Package Version Architecture Depends Recommends
dpkg -x "$deb" "$scratch/root"
root=$scratch/root/usr
missing=0
for file in bin/holescan bin/holescan-cli bin/holescan-review \
            share/applications/holescan.desktop share/applications/holescan-review.desktop \
            share/icons/hicolor/scalable/apps/holescan.svg \
            share/icons/hicolor/scalable/apps/holescan-review.svg \
            share/man/man1/holescan.1 share/man/man1/holescan-cli.1 \
            share/man/man1/holescan-review.1 \
            share/bash-completion/completions/holescan-cli share/doc/holescan/README.md; do
  [ -e "$root/$file" ] || { echo "missing from the package: /usr/$file" >&2; missing=1; }
done
[ "$missing" -eq 0 ]
grep -q '^Depends:.*libqt6widgets6' <(dpkg-deb -f "$deb" Depends | sed 's/^/Depends: /') ||
  { echo "the package does not depend on Qt's widgets" >&2; exit 1; }
# The shot decision's network runs on OpenCV's dnn module.
grep -q '^Depends:.*libopencv-dnn' <(dpkg-deb -f "$deb" Depends | sed 's/^/Depends: /') ||
  { echo "the package does not depend on OpenCV's dnn library" >&2; exit 1; }
for page in "$root"/share/man/man1/*.1; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null || true)
  [ -z "$warnings" ] || { echo "$(basename "$page"): $warnings" >&2; exit 1; }
done
echo "installed: $("$root/bin/holescan-cli" --version)"
# The whole help is read before its first line is shown: head closing the pipe early would
# kill holescan-cli with SIGPIPE, which pipefail reports as a failure.
help=$("$root/bin/holescan-cli" --help)
echo "${help%%$'\n'*}"
