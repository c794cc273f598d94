#!/usr/bin/env bash
# Sourced by sane-test.sh for the network tests, inside a network of their own: SANE's network
# server (saned) on 127.0.0.1 serving SANE's tester and, where saned can load it (a build of the
# fixture for this machine's architecture), the project's fixture backend. The Wine side reaches
# them only through SANE's net backend. A test stops and starts the server by writing "stop" or
# "start" into saned-control in the Wine side's configuration folder; "stopped" or "started"
# answers when it is done.
# Usage: tovik_start_saned FOLDER (exports SANE_CONFIG_DIR for the Wine side); tovik_stop_saned

tovik_saned_group() { cat "$tovik_saned_dir/saned.pid" 2>/dev/null; }

# Starts saned in a process group of its own (the daemon and the servers it forks for each client)
# and waits until it accepts connections.
tovik_run_saned() {
  local server=$tovik_saned_dir/saned
  setsid env -u LD_PRELOAD SANE_CONFIG_DIR="$server" LD_LIBRARY_PATH="$tovik_saned_native" \
    saned -l -b 127.0.0.1 -e -d 1 >>"$tovik_saned_dir/saned.log" 2>&1 </dev/null &
  local pid=$!
  echo "$pid" >"$tovik_saned_dir/saned.pid"
  for _ in $(seq 200); do
    if (exec 3<>/dev/tcp/127.0.0.1/6566) 2>/dev/null; then
      return 0
    fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
  done
  echo "sane: saned did not start (see $tovik_saned_dir/saned.log)" >&2
  return 1
}

tovik_kill_saned() {
  local group
  group=$(tovik_saned_group)
  [ -n "$group" ] || return 0
  kill -- "-$group" 2>/dev/null || true
  for _ in $(seq 100); do
    kill -0 "$group" 2>/dev/null || break
    sleep 0.05
  done
  rm -f "$tovik_saned_dir/saned.pid"
}

# Serves the tests' requests while the script that started it runs.
tovik_saned_control() {
  local control=$tovik_saned_dir/saned-control owner=$1
  while kill -0 "$owner" 2>/dev/null; do
    case "$(cat "$control" 2>/dev/null)" in
    stop)
      tovik_kill_saned
      echo stopped >"$control"
      ;;
    start)
      tovik_run_saned && echo started >"$control"
      ;;
    esac
    sleep 0.1
  done
  tovik_kill_saned
}

tovik_start_saned() {
  tovik_saned_dir=$1
  local server=$1/saned
  rm -rf "$tovik_saned_dir"
  mkdir -p "$server"
  if ! ip link set lo up; then
    echo "sane: the loopback interface cannot be brought up (iproute2 missing?)" >&2
    return 1
  fi
  tovik_saned_native="$tovik_build_dir/tests/fixtures/sane-backend/native"
  # The server's side: SANE's tester, the fixture where it was built for saned, and access from
  # 127.0.0.1 only. The fixture's scenario and log are the Wine side's, where the tests write and
  # read them.
  echo test >"$server/dll.conf"
  cp "$root/tests/sane-source/sane.d/test.conf" "$server/"
  [ -f "$tovik_saned_native/libsane-tovik.so.1" ] && echo tovik >>"$server/dll.conf"
  echo 127.0.0.1 >"$server/saned.conf"
  ln -s ../tovik-fixture.conf "$server/tovik-fixture.conf"
  ln -s ../tovik-fixture.log "$server/tovik-fixture.log"
  # The Wine side: the net backend only, asking 127.0.0.1.
  echo net >"$tovik_saned_dir/dll.conf"
  printf 'connect_timeout = 5\n127.0.0.1\n' >"$tovik_saned_dir/net.conf"
  export SANE_CONFIG_DIR="$tovik_saned_dir"
  tovik_run_saned || return 1
  tovik_saned_control $$ &
  tovik_saned_watcher=$!
}

tovik_stop_saned() {
  [ -n "${tovik_saned_watcher:-}" ] && kill "$tovik_saned_watcher" 2>/dev/null
  tovik_kill_saned
}
