#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks that the installed
# programs run and that their manual pages render without warnings.
#   install_test.sh CMAKE BUILD_DIR SOURCE_DIR
set -euo pipefail
cmake=$1 build=$2 src=$3
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
"$cmake" --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "FAIL: $*"; exit 1; }
for tool in diagfill onebase minmark; do
  [ -x "$prefix/bin/$tool" ] || fail "$tool not installed"
  page=$prefix/share/man/man1/$tool.1.gz
  [ -f "$page" ] || fail "$tool.1.gz not installed"
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$tool.1: $warnings"
  LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page" 2>/dev/null | grep -q "^SYNOPSIS" || fail "$tool.1 does not render"
  version=$("$prefix/bin/$tool" --version | sed 's/.*) //')
  LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page" 2>/dev/null | grep -q "statetools $version" ||
    fail "$tool.1 does not give the version $version"
  status=0
  "$prefix/bin/$tool" >/dev/null || status=$?
  [ "$status" = 2 ] || fail "$tool without arguments exited $status"
done

[ -f "$prefix/share/doc/statetools/copyright" ] || fail "no copyright file"

cd "$prefix"
[ "$(bin/onebase "$src/examples/chain0.tra" chain1.tra)" = "done: 1" ] || fail "onebase"
[ "$(bin/diagfill chain1.tra chain.tra)" = "$(printf 'here\ndone: 1')" ] || fail "diagfill"
[ "$(bin/minmark 4 2 "$src/examples/chain.lst" chain.lab)" = "done: 4" ] || fail "minmark"
head -n 3 chain.lab | tr '\n' ' ' | grep -q "^#DECLARATION minimum #END $" || fail "label file"
echo "installed programs run and manual pages render"
