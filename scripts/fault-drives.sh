#!/usr/bin/env bash
# Drives for the end-to-end tests of failing output folders, in the build tree's Wine prefix:
#   S: a share that comes and goes: linked to <build>/fault-drives/share, which the tests
#      remove and put back from inside Wine (through Z:) while the station runs;
#   R: a whole drive that comes and goes, for pages written into its root: linked to
#      <build>/fault-drives/root, removed and put back the same way;
#   T: a small disk that fills up: a 1 MB tmpfs at <build>/fault-drives/small. Where mounting is
#      refused, T: is not made and the reason is left in <build>/fault-drives/no-small-disk.txt
#      for the test to show when it skips;
#   N: a share that takes files but no folders: linked to <build>/fault-drives/nofolders, inside
#      which the Wine server, started here with tests/e2e-scan/NoFolders.c preloaded, makes no
#      folder (root passes the file system's own permissions). Without the preload the reason is
#      left in <build>/fault-drives/no-folders.txt.
# Usage: fault-drives.sh setup|cleanup BUILD_DIR
set -uo pipefail
[ $# -eq 2 ] || { echo "usage: fault-drives.sh setup|cleanup BUILD_DIR" >&2; exit 2; }
build=$(cd "$2" && pwd)
drives="$build/fault-drives"
dosdevices="$build/wineprefix/dosdevices"

cleanup() {
  if mountpoint -q "$drives/small" 2>/dev/null; then
    umount "$drives/small" || umount -l "$drives/small"
  fi
  rm -f "$dosdevices/n:" "$dosdevices/r:" "$dosdevices/s:" "$dosdevices/t:"
  rm -rf "$drives"
}

# Wine lists a prefix's drives when its server starts, as Windows knows its mapped drives before a
# program starts: the server is restarted so that the station sees S: and T: come and go.
restart_server() {
  WINEPREFIX="$build/wineprefix" wineserver -k >/dev/null 2>&1 || true
  WINEPREFIX="$build/wineprefix" wineserver -w >/dev/null 2>&1 || true
}

case "$1" in
setup)
  cleanup
  mkdir -p "$drives/small" "$dosdevices"
  ln -s "$drives/share" "$dosdevices/s:"
  ln -s "$drives/root" "$dosdevices/r:"
  if reason=$(mount -t tmpfs -o size=1m tmpfs "$drives/small" 2>&1); then
    ln -s "$drives/small" "$dosdevices/t:"
  else
    echo "mounting a 1 MB tmpfs for a full disk was refused: ${reason:-no reason given}" >"$drives/no-small-disk.txt"
  fi
  mkdir -p "$drives/nofolders"
  ln -s "$drives/nofolders" "$dosdevices/n:"
  restart_server
  # This server serves the tests until the cleanup's restart.
  preload="$build/tests/e2e-scan/libno-folders.so"
  if [ -f "$preload" ]; then
    refused=$(realpath "$drives/nofolders")
    WINEPREFIX="$build/wineprefix" LD_PRELOAD="$preload" TOVIK_NO_FOLDERS_IN="$refused" \
      wineserver -p >/dev/null 2>&1 </dev/null
  else
    echo "the preload $preload is not built" >"$drives/no-folders.txt"
  fi
  ;;
cleanup)
  cleanup
  restart_server
  ;;
*)
  echo "usage: fault-drives.sh setup|cleanup BUILD_DIR" >&2
  exit 2
  ;;
esac
