#!/usr/bin/env bash
# svcproc-monitor --web.config.file end to end, as an operator checks it: a
# private CA, server and client certificates made with openssl here, the
# exporter on a simulated machine, curl and promtool against it.
# Usage: exporter-tls.sh SVCPROC_MONITOR
set -uo pipefail
monitor=$(realpath "$1")
for tool in openssl curl promtool; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
work=$(mktemp -d)
pid=""
cleanup() { [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
cd "$work" || exit 1
umask 077
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# --- certificates: a CA, two server certificates (the second for the reload), a client's
quiet() { "$@" >/dev/null 2>&1 || { echo "setup failed: $*"; exit 1; }; }
quiet openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.crt -days 2 -subj /CN=test-ca
issue() {  # issue NAME CN EXTENSION
  quiet openssl req -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -subj "/CN=$2"
  printf '%s\n' "$3" > "$1.ext"
  quiet openssl x509 -req -in "$1.csr" -CA ca.crt -CAkey ca.key -CAcreateserial -days 2 \
    -extfile "$1.ext" -out "$1.crt"
}
issue first first-server "subjectAltName=IP:127.0.0.1"
issue second second-server "subjectAltName=IP:127.0.0.1"
issue client client "extendedKeyUsage=clientAuth"
quiet openssl req -x509 -newkey rsa:2048 -nodes -keyout stranger.key -out stranger.crt -days 2 \
  -subj /CN=stranger
cp first.crt server.crt && cp first.key server.key

# A bcrypt hash of "secret".
hash='$2b$04$37AZDjvEds1LH8i0UqZlV./b0QVn6ydbkesYX1e3a.0gYt3.Rbyvu'

start() {  # start CONFIG: serves it, sets $url
  "$monitor" --simulate --listen 127.0.0.1:0 --web.config.file "$1" >out.txt 2>err.txt &
  pid=$!
  for _ in $(seq 100); do
    url=$(sed -n 's|^svcproc-monitor: serving \(https://[^ ]*\)/metrics$|\1|p' out.txt)
    [ -n "$url" ] && return 0
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "the exporter did not start:"; cat err.txt; exit 1
}
stop() { kill "$pid"; wait "$pid" 2>/dev/null; pid=""; }

# expect STATUS WHAT CURL-ARGS...: the HTTP status curl sees (000: refused)
expect() {
  local want=$1 what=$2 got
  shift 2
  got=$(curl -s -o body.txt -D head.txt -w '%{http_code}' --max-time 10 --cacert ca.crt "$@")
  [ "$got" = "$want" ] || fail "$what: status $got, expected $want"
}
subject() {
  openssl s_client -connect "${url#https://}" -CAfile ca.crt </dev/null 2>/dev/null |
    openssl x509 -noout -subject 2>/dev/null
}

# --- TLS with users and headers
cat > web.yml <<YAML
tls_server_config:
  cert_file: server.crt
  key_file: server.key
basic_auth_users:
  alice: $hash
http_server_config:
  headers:
    X-Frame-Options: deny
    X-Content-Type-Options: nosniff
YAML
start web.yml
expect 200 "TLS 1.2" --tlsv1.2 --tls-max 1.2 -u alice:secret "$url/metrics"
expect 200 "TLS 1.3" --tlsv1.3 -u alice:secret "$url/metrics"
promtool check metrics < body.txt >promtool.txt 2>&1 || fail "promtool: $(cat promtool.txt)"
grep -q '^svcproc_up 1' body.txt || fail "no svcproc_up 1 over TLS"
grep -qi '^X-Frame-Options: deny' head.txt || fail "X-Frame-Options missing"
grep -qi '^X-Content-Type-Options: nosniff' head.txt || fail "X-Content-Type-Options missing"
expect 401 "no credentials" "$url/metrics"
grep -qi '^WWW-Authenticate: Basic' head.txt || fail "401 without WWW-Authenticate: Basic"
grep -qi '^X-Frame-Options: deny' head.txt || fail "the 401 lacks the configured headers"
expect 401 "wrong password" -u alice:wrong "$url/metrics"
expect 401 "unknown user" -u bob:secret "$url/metrics"
expect 401 "/health without credentials" "$url/health"
expect 200 "again, from the verified cache" -u alice:secret "$url/health"
expect 000 "plain HTTP on the TLS port" "http://${url#https://}/metrics"
# Scrapes at once, right and wrong passwords mixed (the workers share the
# remembered passwords).
clients=()
for i in 1 2 3 4 5 6; do
  password=secret; [ $((i % 3)) = 0 ] && password=wrong
  curl -s -o /dev/null -w '%{http_code}\n' --max-time 10 --cacert ca.crt -u "alice:$password" \
    "$url/metrics" > "parallel.$i" &
  clients+=($!)
done
wait "${clients[@]}"
[ "$(sort parallel.* | uniq -c | tr -s ' ')" = "$(printf ' 4 200\n 2 401')" ] ||
  fail "scrapes at once: $(cat parallel.*)"

# The certificate is replaced: new connections get the new one.
case $(subject) in *first-server*) ;; *) fail "served certificate: $(subject)";; esac
cp second.crt server.crt && cp second.key server.key
case $(subject) in *second-server*) ;; *) fail "not reloaded: $(subject)";; esac
# A broken replacement leaves the last good one in use, reported once.
echo broken > server.crt
case $(subject) in *second-server*) ;; *) fail "after a broken file: $(subject)";; esac
expect 200 "after a broken file" -u alice:secret "$url/metrics"
reports=$(grep -c 'previous certificate stays in use' err.txt)
[ "$reports" = 1 ] || fail "the broken file was reported $reports times, not once"
stop

# --- TLS 1.3 only, client certificates required and verified
cp second.crt server.crt
cat > strict.yml <<YAML
tls_server_config:
  cert_file: server.crt
  key_file: server.key
  client_auth_type: RequireAndVerifyClientCert
  client_ca_file: ca.crt
  min_version: TLS13
YAML
start strict.yml
expect 000 "a TLS 1.2 client against min_version TLS13" --tlsv1.2 --tls-max 1.2 \
  --cert client.crt --key client.key "$url/metrics"
expect 000 "no client certificate" "$url/metrics"
expect 000 "a self-signed client certificate" --cert stranger.crt --key stranger.key "$url/metrics"
expect 200 "the client certificate" --cert client.crt --key client.key "$url/metrics"
stop

# --- a file that cannot be used: refused at start with its line, status 64
printf 'tls_server_config:\n  cert_file: server.crt\n  key_file: server.key\n  ciphers: x\n' > bad.yml
"$monitor" --simulate --listen 127.0.0.1:0 --web.config.file bad.yml >out.txt 2>err.txt
status=$?
[ "$status" = 64 ] || fail "a bad file: exit status $status, expected 64"
grep -q "bad.yml:4: tls_server_config: unknown key 'ciphers'" err.txt ||
  fail "a bad file: $(cat err.txt)"

[ "$failures" = 0 ] && echo "PASS"
exit $((failures > 0))
