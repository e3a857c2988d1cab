#!/usr/bin/env bash
# Builds the Debian packages from the build tree, checks their control data,
# unpacks dorvane into a scratch root and runs the sample from there.
# Usage: debian_package.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() {
  echo "$*" >&2
  exit 1
}

(cd "$build" && cpack -G DEB -B "$tmp/deb" >"$tmp/cpack.log" 2>&1) || {
  cat "$tmp/cpack.log" >&2
  fail "cpack failed"
}
deb=$(echo "$tmp"/deb/dorvane_*.deb)
dev=$(echo "$tmp"/deb/dorvane-dev_*.deb)
if [ ! -f "$deb" ] || [ ! -f "$dev" ]; then fail "packages missing: $(ls "$tmp/deb")"; fi

# Depends come from the linked libraries; Calc is only recommended.
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libsqlite3 libstdc++6; do
  [[ $depends == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done
[ "$(dpkg-deb -f "$deb" Recommends)" = libreoffice-calc ] || fail "Recommends: $(dpkg-deb -f "$deb" Recommends)"
[[ $(dpkg-deb -f "$dev" Depends) == "dorvane (= $(dpkg-deb -f "$deb" Version))" ]] ||
  fail "dorvane-dev Depends: $(dpkg-deb -f "$dev" Depends)"

# Each file in its package.
contents() { dpkg-deb -c "$1" | awk '{print $6}'; }
for f in ./usr/bin/dorvane /Dorvane.ocx /Dorvane.30000.bmp ./usr/share/dorvane/sample/sampleweb.htm \
  ./usr/share/dorvane/sample/samplekiv.sql ./usr/share/man/man1/dorvane.1.gz \
  ./usr/share/bash-completion/completions/dorvane; do
  contents "$deb" | grep -q -- "$f\$" || fail "dorvane lacks $f"
done
for f in /include/dorvane/component.h /libdorvane_host.a /pkgconfig/dorvane.pc; do
  contents "$dev" | grep -q -- "$f\$" || fail "dorvane-dev lacks $f"
done
! contents "$deb" | grep -q '/include/' || fail "dorvane holds headers"
# The office extension, when the build has it, as a bundled extension.
if [ -f "$build/dorvane.oxt" ]; then
  for f in description.xml META-INF/manifest.xml dorvane.components dorvane.rdb dorvane_office.uno.so; do
    contents "$deb" | grep -q -- "^./usr/lib/libreoffice/share/extensions/dorvane/$f\$" ||
      fail "dorvane lacks the bundled extension's $f"
  done
  contents "$deb" | grep -q -- "^./usr/share/dorvane/sample/samplesheet.fods\$" ||
    fail "dorvane lacks the worksheet sample"
  bundled_check=1
fi

# The sample run of the unpacked program, on its own files: the page is marked
# so a copy from anywhere else shows.
root=$tmp/root
dpkg -x "$deb" "$root"
printf '<!-- unpacked -->\r\n' >>"$root/usr/share/dorvane/sample/sampleweb.htm"
export DORVANE_REGISTRY=$tmp/registry DORVANE_SAMPLE_DIR=$tmp/sample
unset DORVANE_SAMPLE_SOURCE
out=$("$root/usr/bin/dorvane" sample 2>"$tmp/stderr") || fail "sample failed: $(cat "$tmp/stderr")"
# It registers the library first, then prints the result's path.
[ "${out##*$'\n'}" = "$tmp/sample/sampleweb1.htm" ] || fail "sample printed: $out"
[ ! -s "$tmp/stderr" ] || fail "sample said: $(cat "$tmp/stderr")"
library=$("$root/usr/bin/dorvane" --version | sed -n 2p)
[[ $library == "$root"/usr/lib*/Dorvane.ocx ]] || fail "the registered library is $library"
grep -q 'unpacked' "$tmp/sample/sampleweb1.htm" || fail "the sample page did not come from the package"
! grep -q gethere "$tmp/sample/sampleweb1.htm" || fail "the sample left markers unfilled"
man -P cat -l "$root/usr/share/man/man1/dorvane.1.gz" 2>/dev/null | grep -q 'EXIT STATUS' ||
  fail "the manual page does not show"

# The office takes the unpacked extension as a bundled one, registered.
if [ -n "${bundled_check:-}" ]; then
  listed=$(/usr/lib/libreoffice/program/unopkg list --bundled -env:UserInstallation="file://$tmp/profile" \
    -env:BUNDLED_EXTENSIONS="file://$root/usr/lib/libreoffice/share/extensions" \
    -env:BUNDLED_EXTENSIONS_USER="file://$tmp/profile/bundled" 2>&1) || fail "unopkg list --bundled: $listed"
  grep -A4 'Identifier: org.dorvane.ctlmessage' <<<"$listed" | grep -q 'is registered: yes' ||
    fail "the office does not register the bundled extension: $listed"
fi
