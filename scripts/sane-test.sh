#!/usr/bin/env bash
# Runs a test program of the SANE bridge: in the build tree's SANE prefix, against SANE's own
# frontend tester only (SANE_CONFIG_DIR is the project's tests/sane-source/sane.d), with every scan
# case of tests/sane-source/cases.conf prepared as a configuration of the bridge plus scanimage's
# page for the same options. CTest runs the bridge's tests through this.
# Usage: sane-test.sh BUILD_DIR program.exe [args...]
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
# With TOVIK_SANE_NET set, the run scans through SANE's network server (saned) on the loopback
# interface of a network of its own: its port (SANE's 6566, which the net backend cannot be told
# otherwise) then clashes with no other run and no server of the machine.
if [ -n "${TOVIK_SANE_NET:-}" ] && [ -z "${TOVIK_SANE_NET_INSIDE:-}" ]; then
  if [ "$(id -u)" -eq 0 ]; then ns=(unshare --net); else ns=(unshare --map-root-user --net); fi
  if "${ns[@]}" true 2>/dev/null; then
    TOVIK_SANE_NET_INSIDE=1 exec "${ns[@]}" bash "${BASH_SOURCE[0]}" "$@"
  fi
  echo "sane: no network of its own here (unshare refused): the network tests are skipped" >&2
  export TOVIK_SANE_NET_SKIP="unshare refused a network namespace"
fi
# With TOVIK_TWAINDSM set, the run goes through the TWAIN Working Group's source manager, in a prefix
# of its own (the other runs keep Wine's): its DLL in system32 for the test to load, and the virtual
# scanner beside the bridge as twain_32\tovik\virtual.ds, which that manager finds by searching.
[ -n "${TOVIK_TWAINDSM:-}" ] && export TOVIK_SANE_PREFIX=wineprefix-twaindsm
. "$here/sane-prefix.sh" "$1"
shift
tovik_sane_prefix || exit 1
if [ -n "${TOVIK_TWAINDSM:-}" ]; then
  mkdir -p "$WINEPREFIX/drive_c/windows/twain_32/tovik"
  cp "$root/tests/fixtures/twaindsm/TWAINDSM.dll" "$WINEPREFIX/drive_c/windows/system32/TWAINDSM.dll"
  cp "$tovik_build_dir/sources/virtual-scanner/sane.ds" "$WINEPREFIX/drive_c/windows/twain_32/tovik/virtual.ds"
  export TOVIK_TWAIN_MANAGER=TWAINDSM.dll
fi
export SANE_CONFIG_DIR="$root/tests/sane-source/sane.d"
cases="$tovik_build_dir/sane-cases"
rm -rf "$cases"
mkdir -p "$cases"

# One case: the bridge's configuration and scanimage's page of the same options.
write_case() {
  local name=$1
  shift
  local args=()
  {
    echo "[test:0]"
    echo "name = KV-S SANE test"
    for line in "$@"; do
      echo "$line"
      local option=${line#option }
      args+=("--${option%% = *}=${option#* = }")
    done
  } >"$cases/$name.ini"
  printf '%s\n' "${args[@]}" >"$cases/$name.args"
  # An injected error gives no page to compare with; and scanimage hangs now and then in the
  # tester's clean-up after one (its reader thread, cancelled, never ends).
  case " ${args[*]}" in
  *--read-return-value=SANE_STATUS_*) return ;;
  esac
  if ! timeout -k 2 30 scanimage -d test:0 "${args[@]}" --format=pnm >"$cases/$name.pnm" \
    2>"$cases/$name.scanimage.log"; then
    rm -f "$cases/$name.pnm"
    echo "sane: scanimage failed on case $name (see $cases/$name.scanimage.log)" >&2
  fi
}
# [defaults] starts every case.
defaults=()
name=""
lines=()
end_section() {
  if [ "$name" = defaults ]; then
    defaults=("${lines[@]}")
  elif [ -n "$name" ]; then
    write_case "$name" "${defaults[@]}" "${lines[@]}"
  fi
}
while IFS= read -r line || [ -n "$line" ]; do
  if [[ $line =~ ^\[(.+)\]$ ]]; then
    end_section
    name=${BASH_REMATCH[1]}
    lines=()
  elif [[ $line == option* ]]; then
    lines+=("$line")
  fi
done <"$root/tests/sane-source/cases.conf"
end_section

export TOVIK_SANE_CASES="Z:${cases//\//\\}"
# With TOVIK_SANE_FIXTURE set, the run sees the project's fixture backend (tests/fixtures/sane-backend)
# instead, in a configuration folder of its own where the tests write its scenario. It is set for
# the whole run: Wine starts the station with SANE's variables as the run began.
if [ -n "${TOVIK_SANE_FIXTURE:-}" ]; then
  fixture="$tovik_build_dir/sane-fixture.d"
  rm -rf "$fixture"
  mkdir -p "$fixture"
  echo tovik >"$fixture/dll.conf"
  export SANE_CONFIG_DIR="$fixture"
fi
if [ -n "${TOVIK_SANE_NET_INSIDE:-}" ]; then
  . "$here/saned.sh"
  tovik_start_saned "$tovik_build_dir/sane-net.d" || exit 1
  trap tovik_stop_saned EXIT
fi
# Output through files: Wine's background processes would keep a pipe open (see wine-run.sh).
out=$(mktemp "${TMPDIR:-/tmp}/tovik-sane.XXXXXX")
err=$(mktemp "${TMPDIR:-/tmp}/tovik-sane.XXXXXX")
# SANE's tester cancels its reader thread asynchronously, which can hang a later scan: the run's
# Wine processes keep cancellation deferred (tests/sane-source/DeferredCancel.c).
preload="$tovik_build_dir/tests/sane-source/libdeferred-cancel.so"
[ -f "$preload" ] && export LD_PRELOAD="$preload${LD_PRELOAD:+:$LD_PRELOAD}"
wine "$@" >"$out" 2>"$err" </dev/null
rc=$?
cat "$out"
cat "$err" >&2
rm -f "$out" "$err"
wineserver -k >/dev/null 2>&1 || true
exit $rc
