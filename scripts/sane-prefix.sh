#!/usr/bin/env bash
# Sourced by the scripts that run Windows programs on SANE scanners through the bridge
# (sources/sane-source): a Wine prefix of its own, since the bridge and the virtual scanner are both
# sane.ds, and WINEDLLPATH pointing at the bridge so that Wine loads it behind its placeholder.
# Usage: . sane-prefix.sh BUILD_DIR   (then tovik_sane_prefix prepares the prefix)
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/wine-env.sh" "$1"
# TOVIK_SANE_PREFIX names another prefix of the same kind (the 2.x source manager's, see sane-test.sh).
export WINEPREFIX="$tovik_build_dir/${TOVIK_SANE_PREFIX:-wineprefix-sane}"
export WINEDLLPATH="$tovik_build_dir/sources/sane-source${WINEDLLPATH:+:$WINEDLLPATH}"
# SANE's dll backend looks for backends in LD_LIBRARY_PATH first: the project's fixture backend
# (tests/fixtures/sane-backend) is found there when a configuration folder's dll.conf names "tovik".
export LD_LIBRARY_PATH="$tovik_build_dir/tests/fixtures/sane-backend${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"

# Creates the prefix once (headless unless TOVIK_WINE_GRAPHICS asks for X), checking that its
# sane.ds is Wine's placeholder, which hands over to the bridge.
tovik_sane_prefix() {
  if [ ! -f "$tovik_build_dir/sources/sane-source/sane.ds.so" ]; then
    echo "sane: the bridge $tovik_build_dir/sources/sane-source/sane.ds.so is not built" >&2
    return 1
  fi
  local placeholder="$WINEPREFIX/drive_c/windows/twain_32/sane.ds"
  if [ -f "$placeholder" ] && [ "$(stat -c %s "$placeholder")" -gt 65536 ]; then
    echo "sane: $placeholder is not Wine's placeholder (a virtual scanner?); remove the prefix" >&2
    return 1
  fi
  bash "$here/prepare-wineprefix.sh" "$tovik_build_dir" "${TOVIK_SANE_PREFIX:-wineprefix-sane}"
}
