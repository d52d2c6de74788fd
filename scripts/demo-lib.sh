# Shared by the demo and screenshot scripts: start a demo server, point the client at it.
# Expects build_dir to be set; sets demo_dir, port and server_pid.

start_demo_server() {
  port="${QIRA_DEMO_PORT:-2110}"
  local http_port="${QIRA_DEMO_HTTP_PORT:-2180}"
  demo_dir="$build_dir/demo"
  rm -rf "$demo_dir"
  mkdir -p "$demo_dir/repository"
  "$build_dir/src/apps/qira-server" --demo --data "$demo_dir/data" --port "$port" --http-port "$http_port" \
    >"$demo_dir/server.log" 2>&1 &
  server_pid=$!
  trap 'kill "$server_pid" 2>/dev/null || true' EXIT
  for _ in $(seq 1 100); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && return 0
    kill -0 "$server_pid" 2>/dev/null || { cat "$demo_dir/server.log"; return 1; }
    sleep 0.1
  done
  echo "The demo server did not start; see $demo_dir/server.log" >&2
  return 1
}

# write_client_settings [remember]: the client reads its settings beside the program.
write_client_settings() {
  local repository
  repository="$(cd "$demo_dir/repository" && pwd)"
  {
    echo "[ConnectionSettings]"
    echo "TfmQiraClientMain={\"CliSettings\":{\"Server\":\"localhost\",\"Port\":\"$port\",\"Protocol\":\"TCP\",\"DirProj\":\"$repository\"}}"
    if [ "${1:-}" = remember ]; then
      echo 'TfmZxLogins={"Auth":{"SaveAuth":"1","Login":"admin","Password":"admin"}}'
    else
      echo 'TfmZxLogins={"Auth":{"SaveAuth":"0","Login":"admin","Password":""}}'
    fi
  } >"$build_dir/src/apps/qira-client.ini"
}
