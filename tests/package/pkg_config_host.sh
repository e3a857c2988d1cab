#!/usr/bin/env bash
# Installs the build tree into a temporary prefix, moves that prefix, builds a
# host program with nothing but pkg-config's flags and runs it on the sample:
# the installed files must not depend on where they were put.
# Usage: pkg_config_host.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1 source=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

cmake --install "$build" --prefix "$tmp/installed" >/dev/null
mv "$tmp/installed" "$tmp/moved"
prefix=$tmp/moved
pc=$(find "$prefix" -name dorvane.pc)
export PKG_CONFIG_PATH=${pc%/*}
read -ra flags <<<"$(pkg-config --cflags --libs dorvane)"
c++ -std=c++20 -o "$tmp/host" "$source/tests/package/host.cpp" "${flags[@]}"

# The installed command registers the library of its own installation.
export DORVANE_REGISTRY=$tmp/registry
registered=$("$prefix/bin/dorvane" register)
case $registered in
  "Registered $prefix/"*/Dorvane.ocx" in $tmp/registry") ;;
  *) echo "registered another library: $registered" >&2; exit 1 ;;
esac

mkdir "$tmp/run" && cd "$tmp/run"
sqlite3 -bail samplekiv.sqlite <"$prefix/share/dorvane/sample/samplekiv.sql"
"$tmp/host" "$prefix/share/dorvane/sample/sampleweb.htm" result.htm samplekiv.sqlite
grep -q 'price,A01' result.htm
if grep -q gethere result.htm; then
  echo "the host's merge left markers unfilled" >&2
  exit 1
fi

# The command starts without LibreOffice's libraries, and a worksheet merge
# loads the Calc module of its own installation: with no Calc listening, the
# module answers 429 "nothing listens", not the loader "cannot be loaded".
if [ -e "$build/dorvane-calc.so" ]; then
  if ldd "$prefix/bin/dorvane" | grep -q libuno_; then
    echo "the installed command links LibreOffice's libraries" >&2
    exit 1
  fi
  said=$(DORVANE_CALC="pipe,name=dorvane-none-$$" "$prefix/bin/dorvane" sheet --db samplekiv.sqlite 2>&1 || true)
  case $said in
    *"error 429: No spreadsheet application is running: nothing listens"*) ;;
    *) echo "the installed command did not reach its Calc module: $said" >&2; exit 1 ;;
  esac
fi
