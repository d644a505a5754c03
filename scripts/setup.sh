#!/usr/bin/env bash
# Installs what a fresh Debian or Ubuntu machine lacks to build the tools
# with every compressed format (and, given --tests, to run the tests), with
# apt-get, as root or through sudo; elsewhere it names the packages.
set -euo pipefail

missing=()
command -v cmake >/dev/null || missing+=(cmake)
command -v g++ >/dev/null || missing+=(g++)
command -v make >/dev/null || missing+=(make)
# The compression libraries: without one, the build lacks its format.
[ -f /usr/include/isa-l/igzip_lib.h ] || missing+=(libisal-dev)
[ -f /usr/include/zstd.h ] || missing+=(libzstd-dev)
[ -f /usr/include/lzma.h ] || missing+=(liblzma-dev)
[ -f /usr/include/bzlib.h ] || missing+=(libbz2-dev)
if [ "${1:-}" = --tests ]; then
  [ -f /usr/include/gtest/gtest.h ] || missing+=(libgtest-dev)
  command -v man >/dev/null || missing+=(man-db)
  # The programs the tests make and check compressed files with.
  command -v gzip >/dev/null || missing+=(gzip)
  command -v zstd >/dev/null || missing+=(zstd)
  command -v xz >/dev/null || missing+=(xz-utils)
  command -v bzip2 >/dev/null || missing+=(bzip2)
fi
if [ ${#missing[@]} -gt 0 ]; then
  as_root=()
  [ "$(id -u)" = 0 ] || as_root=(sudo)
  if command -v apt-get >/dev/null && { [ ${#as_root[@]} = 0 ] || command -v sudo >/dev/null; }; then
    "${as_root[@]}" apt-get update
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}"
  else
    echo "scripts/setup.sh: install these first: ${missing[*]} (Debian package names)" >&2
    exit 1
  fi
fi
