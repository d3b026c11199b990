# Sourced by tests/windows/rig/wine-test.sh: where the win32 suite runs. In order:
#   host  the system's 32-bit Wine (wine32:i386), installed or installable
#         from the package registry;
#   vm    the same in a virtual machine, when the host's kernel cannot run
#         32-bit programs (or SVCP_WIN32_VM=1; tests/windows/rig/i386-vm.sh);
#   root  Wine in a 32-bit Debian root made once per machine
#         (tests/windows/rig/i386-root.sh), when the registry cannot provide the
#         system's (or SVCP_WIN32_ROOT=1).
# svcp_win32_runner prints one of them, or fails with the reason on stderr:
# a suite that cannot run is a failure, never a warning.
#
# The probes of the machine are functions of their own, so that a test can
# stand in for the machine. Their output goes to stderr: the runner's is
# the answer.
svcp_wine32_install() { scripts/install-deps.sh wine32:i386 >&2; }
svcp_wine32_runs() { /usr/lib/wine/wine --version >/dev/null 2>&1; }
svcp_root_make() { scripts/install-deps.sh debootstrap >&2 && tests/windows/rig/i386-root.sh make >&2; }

svcp_win32_runner() {
  if [ "${SVCP_WIN32_ROOT:-0}" != 1 ]; then
    if svcp_wine32_install; then
      if [ "${SVCP_WIN32_VM:-0}" != 1 ] && svcp_wine32_runs; then
        echo host
      else
        echo vm
      fi
      return 0
    fi
    echo "wine-test: wine32:i386 cannot be installed from the package registry now;" \
      "the win32 suite runs in the 32-bit root instead." >&2
  fi
  if svcp_root_make; then
    echo root
    return 0
  fi
  echo "wine-test: the 32-bit root cannot be made (see above)." >&2
  return 1
}
