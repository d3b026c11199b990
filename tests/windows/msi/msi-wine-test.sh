#!/usr/bin/env bash
# The Windows package under Wine's msiexec, as a fleet's distribution tool
# uses it: a quiet install with properties, the service's configuration read
# back, a scrape, an upgrade from an older package, a refused downgrade, and
# an uninstall that leaves no file, service or registry key. The simulated
# machine (svcp_monitor_machine.exe) answers behind the relay driver.
#   WINEPREFIX=... SVCP_WINE_ARCH=... msi-wine-test.sh BINDIR SOURCEDIR PREVIOUS_MSI MSI VERSION
set -euo pipefail
bin=$1
source_dir=$2
previous_msi=$3
msi=$4
version=$5
# shellcheck source=../rig/checks.sh
source "$source_dir/tests/windows/rig/checks.sh"
windows_path() { run winepath -w "$1" 2>/dev/null | tr -d '\r'; }
unix_path() { run winepath -u "$1" 2>/dev/null | tr -d '\r'; }

for package in "$previous_msi" "$msi"; do
  [ -f "$package" ] || fail "no $package: build it with --target msi msi_test_packages"
  [ "$package" -nt "$bin/svcproc-monitor.exe" ] ||
    fail "$package is older than the build: build --target msi msi_test_packages again"
done

work=$(mktemp -d)
machine_pid=""
cleanup() {
  local status=$?
  run msiexec /x "$(windows_path "$msi")" /qn >/dev/null 2>&1 || true
  if [ -n "$machine_pid" ]; then
    stop_machine "$machine_pid"
  fi
  wait 2>/dev/null || true
  [ -n "${textfile_unix:-}" ] && rm -f "$textfile_unix"
  for file in "${web_config:-}" "${monitor_config:-}" "${tls_config:-}"; do
    [ -n "$file" ] && rm -f "$(unix_path "$file")"
  done
  [ -n "${open_folder:-}" ] && rm -rf "$open_folder"
  if [ "$status" -ne 0 ]; then
    show_outputs "$work" 30
  fi
  rm -rf "$work"
}
trap cleanup EXIT

scrape_shows() { curl -fsS -m 5 "$1" -o "$work/scrape.prom" && [ "$(metric svcproc_up "$work/scrape.prom")" = "$2" ]; }
file_shows() { [ -f "$1" ] && [ "$(metric svcproc_up "$1")" = "$2" ]; }
random_port() { echo $((20000 + RANDOM % 30000)); }


# msiexec PACKAGE ARGS...: its exit status, the log kept in $work.
install() {
  local package=$1
  shift
  run msiexec /i "$(windows_path "$package")" /qn /l*v 'C:\windows\temp\svcp-msi.log' "$@" \
    >"$work/msiexec.out" 2>&1
}
query() { run "$bin/service_config_query.exe" svcproc-exporter >"$work/query.out" 2>"$work/query.err"; }
setting() { text "$work/query.out" | sed -n "s/^$1=//p"; }
# A setting this Wine's service manager cannot report is checked by
# service_install_tests through a stand-in; one it reports must match.
expect_setting() {
  local value
  value=$(setting "$1")
  if [ "$value" = unsupported ]; then
    echo "note: this Wine's service manager does not report $1"
  elif [ "$value" != "$2" ]; then
    fail "$1 is '$value', not '$2'"
  fi
}
check_service() {
  query || fail "the service is not registered"
  [ "$(setting account)" = 'NT SERVICE\svcproc-exporter' ] || fail "account $(setting account)"
  [ "$(setting start)" = auto ] || fail "start type $(setting start)"
  text "$work/query.out" | grep -qF "command=\"$install_dir\\bin\\svcproc-monitor.exe\" --service run $1" ||
    fail "the service's command is not the installed monitor with '$1'"
  expect_setting delayed 1
  expect_setting failure_reset 86400
  expect_setting failure_actions restart/5000,restart/30000,restart/60000
  expect_setting failure_on_error_exit 1
  expect_setting sid_type restricted
  expect_setting privileges SeChangeNotifyPrivilege
}
# The prefix's machine hive as text (work/registry.txt).
export_registry() {
  local key
  : >"$work/registry.txt"
  for key in 'HKLM\Software' 'HKLM\System'; do
    run reg export "$key" "$(windows_path "$work")\\hive.reg" /y >/dev/null 2>&1 ||
      fail "reg export $key"
    iconv -f UTF-16LE -t UTF-8 "$work/hive.reg" | tr -d '\r' >>"$work/registry.txt"
  done
}
# Every key or value naming svcproc, for comparing before the install and
# after the uninstall.
registry_mentions() {
  export_registry
  grep -i 'svcproc' "$work/registry.txt" || true
}
# The version of each product named svcproc in Add or Remove Programs.
installed_versions() {
  export_registry
  awk '/^\[/ { uninstall = /CurrentVersion\\Uninstall\\/; name = ""; version = "" }
       uninstall && /^"DisplayName"="svcproc"$/ { name = 1 }
       uninstall && /^"DisplayVersion"=/ { version = $0; sub(/^"DisplayVersion"="/, "", version); sub(/"$/, "", version) }
       name && version != "" { print version; name = ""; version = "" }' "$work/registry.txt"
}

if [ "${SVCP_WINE_ARCH:-win64}" = win64 ]; then
  install_dir='C:\Program Files\svcproc'
else
  install_dir='C:\Program Files\svcproc'
  [ -d "$(unix_path 'C:\Program Files (x86)')" ] && install_dir='C:\Program Files (x86)\svcproc'
fi
install_unix=$(unix_path "$install_dir")

start_machine
run "$bin/svcproc-monitor.exe" --service uninstall >/dev/null 2>&1 || true
registry_mentions >"$work/registry-before.txt"

# The service's configuration files: a web configuration of headers (this
# build serves no TLS) and sensor renames.
web_config='C:\windows\temp\svcp-web.yml'
monitor_config='C:\windows\temp\svcp-monitor.yml'
tls_config='C:\windows\temp\svcp-tls.yml'
printf 'http_server_config:\n  headers:\n    X-Frame-Options: deny\n' >"$(unix_path "$web_config")"
printf 'sensors:\n  rename:\n    - {description: "CPU Fan", to: "Processor fan"}\n' \
  >"$(unix_path "$monitor_config")"
printf 'tls_server_config:\n  cert_file: c.pem\n  key_file: k.pem\n' >"$(unix_path "$tls_config")"

# Properties that cannot be honoured are refused before anything is done.
install "$msi" WEB_CONFIG_FILE="$web_config" TEXTFILE_OUTPUT='C:\x.prom' &&
  fail "WEB_CONFIG_FILE was accepted without a port"
install "$msi" WEB_CONFIG_FILE="$tls_config" && fail "a TLS web configuration was accepted"
install "$msi" LISTEN_ADDRESS=9723 TEXTFILE_OUTPUT='C:\x.prom' && fail "both outputs were accepted"
# Options the monitor refuses fail the service's registration, and the
# install is rolled back whole.
install "$msi" EXTRA_FLAGS=--no-such-option && fail "EXTRA_FLAGS=--no-such-option was accepted"
[ ! -e "$install_unix" ] || fail "a refused install left $install_dir"
query && fail "a refused install registered the service"

# The older package, serving on a port.
old_port=$(random_port)
install "$previous_msi" LISTEN_ADDRESS="127.0.0.1:$old_port" WEB_CONFIG_FILE="$web_config" \
  CONFIG_FILE="$monitor_config" || fail "install of the older package"
for file in bin/svcproc-monitor.exe bin/svcproc.dll bin/log.dll lib/libsvcproc.dll.a lib/svcproc.def \
  include/svcproc/api/svcproc_c.h share/doc/svcproc/windows.md share/doc/svcproc/third-party/CLI11.txt; do
  [ -f "$install_unix/$file" ] || fail "$file is not installed"
done
[ "$(installed_versions)" = 0.9.0 ] || fail "the older package is not registered as 0.9.0"
check_service "--listen 127.0.0.1:$old_port --web.config.file $web_config --config.file $monitor_config"
wait_for 120 "the installed service serves on port $old_port" scrape_shows "http://127.0.0.1:$old_port/metrics" 1
grep -q 'name="Processor fan"' "$work/scrape.prom" || fail "the configuration file's rename is not served"
curl -fsS -m 5 -D "$work/headers.txt" -o /dev/null "http://127.0.0.1:$old_port/health" &&
  tr -d '\r' <"$work/headers.txt" | grep -qix 'X-Frame-Options: deny' ||
  fail "the web configuration's header is not served"

# The upgrade: the textfile instead, at a path outside every ANSI code page.
textfile='C:\windows\temp\svcp-Θερμοκρασία-温度.prom'
textfile_unix=$(unix_path "$textfile")
install "$msi" TEXTFILE_OUTPUT="$textfile" || fail "the upgrade"
check_service "--watch --format prometheus --output $textfile"
wait_for 120 "the upgraded service writes $textfile" file_shows "$textfile_unix" 1
curl -fsS -m 5 "http://127.0.0.1:$old_port/metrics" >/dev/null 2>&1 && fail "the old service still serves"
versions=$(installed_versions | tr '\n' ' ')
[ "$versions" = "$version " ] || fail "installed after the upgrade: '$versions', not $version alone"

# No downgrade over it.
install "$previous_msi" && fail "the older package installed over the newer one"
query || fail "the refused downgrade removed the service"

# A folder ordinary users can write is refused (Wine shows a directory's
# mode bits as its access list: world-writable is Everyone's write).
open_folder=$(mktemp -d "$(unix_path 'C:\windows\temp')/svcp-open.XXXXXX")
cp "$install_unix"/bin/*.exe "$install_unix"/bin/*.dll "$open_folder/"
chmod 777 "$open_folder"
run "$(windows_path "$open_folder")\\svcproc-monitor.exe" --service install --listen 9723 \
  >"$work/open.out" 2>&1 && fail "an install from a folder everyone can write was accepted"
has "$work/open.out" "ordinary users can change .*(Everyone)" || fail "the refusal does not say who can write"

# The uninstall leaves nothing.
run msiexec /x "$(windows_path "$msi")" /qn >"$work/uninstall.out" 2>&1 || fail "the uninstall"
status=0
query || status=$?
[ "$status" -eq 2 ] || fail "the service is still registered after the uninstall"
[ ! -e "$install_unix" ] || fail "files remain: $(find "$install_unix" | head -5)"
registry_mentions >"$work/registry-after.txt"
diff "$work/registry-before.txt" "$work/registry-after.txt" >"$work/registry.diff" ||
  fail "the registry still names svcproc: $(head -5 "$work/registry.diff")"
echo "msi package: passed"
