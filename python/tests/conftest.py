"""The simulated machines for the tests: svcproc-sim ($SVCPROC_SIM) serving in
directories of the session's own. The built-in POS terminal is named to the
library through SVCP_DEVICE_DIR before the library is first loaded; the
alerting machine (a fan that goes critical and back every second) serves
the tests that run scripts of their own."""

import contextlib
import os
import shutil
import subprocess
import tempfile
import time

import pytest

ALERTING_MACHINE = os.path.join(os.path.dirname(__file__), "alerting-machine.json")


@contextlib.contextmanager
def serving(*description):
    """The device directory of an svcproc-sim serving the machine described
    (default: the built-in one), for as long as the block runs."""
    program = os.environ.get("SVCPROC_SIM") or shutil.which("svcproc-sim")
    if not program:
        pytest.fail("set SVCPROC_SIM to the svcproc-sim program")
    directory = tempfile.mkdtemp(prefix="svcp-python-")
    process = subprocess.Popen([program, "--device-dir", directory, "--quiet", *description],
                               stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    try:
        deadline = time.monotonic() + 20
        line = ""
        while "serving" not in line:
            line = process.stdout.readline()
            if not line or time.monotonic() > deadline:
                pytest.fail("svcproc-sim does not serve: %r" % line)
        yield directory
    finally:
        process.terminate()
        process.wait(10)
        shutil.rmtree(directory, ignore_errors=True)


@pytest.fixture(scope="session", autouse=True)
def simulator():
    with serving() as directory:
        os.environ["SVCP_DEVICE_DIR"] = directory
        yield directory


@pytest.fixture(scope="session")
def alerting_simulator():
    with serving(ALERTING_MACHINE) as directory:
        yield directory
