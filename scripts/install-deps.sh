#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
#   scripts/install-deps.sh [--build] [PACKAGE...]
# --build: only what building the library and its tools needs; PACKAGEs: more.
set -euo pipefail

# What building the library and its tools needs (the main job's installs).
build_packages=(
  build-essential cmake ninja-build pkg-config   # toolchain
  nlohmann-json3-dev                             # the simulator's machine files
  libcli11-dev                                   # the tools' command lines
  libyaml-cpp-dev                                # the monitor's configuration files
  libboost-dev                                   # the monitor's metrics endpoint (--listen): Beast, Asio
  libssl-dev libcrypt-dev                        # --web.config.file: TLS, bcrypt
)
# What the test suite needs besides.
test_packages=(
  libgtest-dev libgmock-dev                      # unit and integration tests
  libbenchmark-dev                               # benchmarks
  clang libclang-rt-14-dev                       # fuzz targets (libFuzzer)
  dmidecode                                      # independent SMBIOS decoder for table tests
  dpkg-dev                                       # cpack -G DEB: dpkg-shlibdeps
  python3-pytest python3-setuptools python3-wheel python3-pip   # the Python binding's tests and pip install
  libcpp-httplib-dev                             # an HTTP client in the exporter's tests
  prometheus curl                                # promtool checks, curl scrapes in the tests
  locales                                        # localedef: the comma-decimal locale test
  systemd                                        # systemd-analyze verify of the exporter unit
  tmux                                           # the monitor's terminal test
  openssl                                        # the TLS test's certificates
  prometheus-alertmanager                        # the monitoring pack's end-to-end test
  chromium                                       # the exporter status page's browser test
)
packages=("${build_packages[@]}")
if [ "${1:-}" = "--build" ]; then
  shift
else
  packages+=("${test_packages[@]}")
fi
if [ $# -gt 0 ]; then
  packages+=("$@")
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
# Packages of another architecture (name:arch) need it enabled first. One
# enabled here is disabled again if the install fails, so that its indexes
# cannot fail every later apt-get update.
added_archs=()
for package in "${missing[@]}"; do
  if [[ $package == *:* ]]; then
    arch=${package##*:}
    if ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
      $sudo dpkg --add-architecture "$arch"
      added_archs+=("$arch")
    fi
  fi
done
# A mirror in the middle of a sync serves an index that fails its check:
# try again, and in the end go on with the lists that did arrive (the install
# itself fails if a package is still not found).
for attempt in 1 2 3; do
  $sudo apt-get update -q && break
  if [ "$attempt" -eq 3 ]; then
    echo "install-deps: apt-get update failed 3 times; installing from the lists there are" >&2
  else
    sleep 20
  fi
done
if ! $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"; then
  for arch in "${added_archs[@]}"; do
    $sudo dpkg --remove-architecture "$arch" || true
  done
  exit 1
fi
