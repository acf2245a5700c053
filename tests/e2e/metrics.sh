#!/usr/bin/env bash
# ombrixd's metrics as a real Prometheus scrapes them: bad addresses end the
# start, promtool passes the page, hostile requests are refused, and the
# bytes a simulated device sent reach Prometheus's query API exactly.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
daemon_setup
METRICS=$(free_port) PROM=$(free_port) SENT=123457
scrape() { curl -sf "http://127.0.0.1:$METRICS/metrics"; }
# prom_is QUERY VALUE: Prometheus answers QUERY with one sample of VALUE.
prom_is() {
  curl -sf "http://127.0.0.1:$PROM/api/v1/query" --data-urlencode "query=$1" >"$E2E/prom.json" &&
    python3 -c 'import json, sys; r = json.load(open(sys.argv[1]))["data"]["result"]; sys.exit(not (len(r) == 1 and r[0]["value"][1] == sys.argv[2]))' "$E2E/prom.json" "$2"
}

mkdir -p "$E2E/tsdb"
printf 'global:\n  scrape_interval: 1s\nscrape_configs:\n  - job_name: ombrixd\n    static_configs:\n      - targets: ["127.0.0.1:%s"]\n' \
  "$METRICS" >"$E2E/prometheus.yml"
prometheus --config.file="$E2E/prometheus.yml" --storage.tsdb.path="$E2E/tsdb" \
  --web.listen-address="127.0.0.1:$PROM" >"$E2E/prometheus.log" 2>&1 &
PIDS+=("$!")
wait_for 60 curl -sf "http://127.0.0.1:$PROM/-/ready" -o /dev/null || { cat "$E2E/prometheus.log"; fail "Prometheus did not start"; }

echo "-- a bad address or a port in use: one line on standard error, exit status 1"
simport 7 --pattern count --bytes "$SENT"
bvx "7 $E2E/seven.log 1" >"$E2E/run.bvx"
for row in "OMBRIXD_METRICS=nonsense|OMBRIXD_METRICS: 'nonsense' is not an address" \
  "OMBRIXD_METRICS=[127.0.0.1]:1|is not an address" "OMBRIXD_METRICS=127.0.0.1:$PROM|cannot serve metrics on 127.0.0.1:$PROM: "; do
  s=0 && env "${row%%|*}" "$DAEMON" "$E2E/run.bvx" 2>"$E2E/out" || s=$?
  [ "$s" = 1 ] && grep -q "^ombrixd: .*${row#*|}" "$E2E/out" && [ ! -e "$E2E/seven.log" ] || { cat "$E2E/out"; fail "$row"; }
done

echo "-- the option wins over the environment; promtool passes the page; COM7 is open"
(cd "$E2E" && OMBRIXD_METRICS=nonsense exec "$DAEMON" --metrics "127.0.0.1:$METRICS" run.bvx) 2>"$LOG" &
DAEMON_PID=$!
PIDS+=("$DAEMON_PID")
wait_for 60 size_at_least "$E2E/seven.log" "$SENT" || fail "COM7 logged $(file_size "$E2E/seven.log") of $SENT bytes"
scrape >"$E2E/metrics.txt" || fail "no metrics"
promtool check metrics <"$E2E/metrics.txt" >"$E2E/promtool.out" 2>&1 && [ ! -s "$E2E/promtool.out" ] ||
  { cat "$E2E/promtool.out"; fail "promtool check metrics"; }
grep -q '^ombrix_port_open{com="COM7",device="/dev/pts/[0-9]*"} 1$' "$E2E/metrics.txt" || fail "COM7 is not open"

echo "-- other methods and paths are refused; garbage does no harm"
for row in "POST /metrics 405" "DELETE /metrics 405" "GET /metrics/x 404" "GET / 404"; do
  set -- $row
  [ "$(curl -s -o /dev/null -w '%{http_code}' -X "$1" "http://127.0.0.1:$METRICS$2")" = "$3" ] || fail "$row"
done
head -c 3000 /dev/urandom | curl -s -m 5 "telnet://127.0.0.1:$METRICS" >/dev/null 2>&1 || true
scrape >/dev/null || fail "no metrics after garbage"

echo "-- Prometheus reports every byte sent; the device's end counts as lost"
wait_for 30 prom_is ombrix_port_received_bytes_total "$SENT" || { cat "$E2E/prom.json"; fail "Prometheus never saw $SENT bytes"; }
prom_is 'ombrix_port_logged_bytes_total{com="COM7"}' "$SENT" || fail "logged bytes"
kill -TERM "$SIMPORT_PID_7"
lost() { scrape | grep -q '^ombrix_port_errors_total{com="COM7",.*kind="lost"} 1$'; }
wait_for 60 lost || fail "the lost device was not counted"
scrape | grep -q '^ombrix_sessions_open 0$' || fail "a lost port still counts as open"
kill -TERM "$DAEMON_PID"
wait "$DAEMON_PID" || fail "ombrixd ended with status $?"
echo "all metrics checks passed"
