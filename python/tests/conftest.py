"""The simulated machine for the tests: svcproc-sim ($SVCPROC_SIM) serving in
a directory of the session's own, named to the library through
SVCP_DEVICE_DIR before the library is first loaded."""

import os
import shutil
import subprocess
import tempfile
import time

import pytest


@pytest.fixture(scope="session", autouse=True)
def simulator():
    program = os.environ.get("SVCPROC_SIM") or shutil.which("svcproc-sim")
    if not program:
        pytest.fail("set SVCPROC_SIM to the svcproc-sim program")
    directory = tempfile.mkdtemp(prefix="svcp-python-")
    process = subprocess.Popen([program, "--device-dir", directory, "--quiet"],
                               stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    try:
        deadline = time.monotonic() + 20
        line = ""
        while "serving" not in line:
            line = process.stdout.readline()
            if not line or time.monotonic() > deadline:
                pytest.fail("svcproc-sim does not serve: %r" % line)
        os.environ["SVCP_DEVICE_DIR"] = directory
        yield directory
    finally:
        process.terminate()
        process.wait(10)
        shutil.rmtree(directory, ignore_errors=True)
