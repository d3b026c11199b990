"""Listeners against the end of their ServiceProcessor and of the
interpreter: each case is a script of its own, run against the alerting
machine, that must exit with status 0 within a time limit (a crash or a
hang fails it, not the test session)."""

import os
import subprocess
import sys
import textwrap

import pytest

import svcproc

LIMIT_SECONDS = 30


def run(script, device_directory):
    """The finished script's output; fails the test when it does not exit
    with status 0 within the limit."""
    package_parent = os.path.dirname(os.path.dirname(os.path.abspath(svcproc.__file__)))
    environment = dict(os.environ, SVCP_DEVICE_DIR=device_directory, PYTHONPATH=os.pathsep.join(
        filter(None, [package_parent, os.environ.get("PYTHONPATH")])))
    try:
        finished = subprocess.run([sys.executable, "-c", textwrap.dedent(script)],
                                  env=environment, capture_output=True, text=True,
                                  timeout=LIMIT_SECONDS)
    except subprocess.TimeoutExpired as expired:
        # The output of a killed run comes as bytes, whatever was asked.
        output = [text.decode(errors="replace") if isinstance(text, bytes) else text or ""
                  for text in (expired.stdout, expired.stderr)]
        pytest.fail("still running after %d s (hung); output:\n%s\n%s"
                    % (LIMIT_SECONDS, output[0], output[1]))
    assert finished.returncode == 0, "exit status %d; output:\n%s\n%s" % (
        finished.returncode, finished.stdout, finished.stderr)
    return finished.stdout


def test_a_dropped_service_processor_keeps_its_listeners(alerting_simulator):
    # Only the listener's own closure refers to the ServiceProcessor: once
    # collected, an alert used to call freed memory.
    output = run("""
        import gc, sys, threading
        import svcproc

        heard = threading.Semaphore(0)
        token = svcproc.ServiceProcessor().add_listener(lambda alert: heard.release())
        gc.collect()
        for _ in range(3):
            if not heard.acquire(timeout=20):
                sys.exit("no alert after the ServiceProcessor was dropped")
        svcproc.ServiceProcessor().remove_listener(token)
        print("heard")
        """, alerting_simulator)
    assert output.splitlines() == ["heard"]


def test_the_interpreter_ends_while_a_listener_runs(alerting_simulator):
    # The script ends while the slow listener is inside a call, and the call
    # goes on into the exit: the exit must wait for it, then let no Python
    # code run on the polling thread. Used to hang for ever: the call that
    # came back after finalisation never returned, and the library's unload
    # waits for its thread. The handler registered before the import runs
    # after the binding's own and finds registration closed.
    output = run("""
        import atexit, sys, threading, time

        def register_late():
            try:
                machine.add_listener(print)
            except RuntimeError as refusal:
                print("refused:", refusal, flush=True)

        atexit.register(register_late)

        import svcproc

        machine = svcproc.ServiceProcessor()
        entered = threading.Event()

        def slow(alert):
            if not entered.is_set():
                entered.set()
                threading.main_thread().join()  # until the script has ended
                time.sleep(1)
                print("listener returned", flush=True)

        machine.add_listener(slow)
        machine.add_listener(lambda alert: None)
        if not entered.wait(20):
            sys.exit("no alert")
        print("script ends", flush=True)
        """, alerting_simulator)
    lines = output.splitlines()
    assert lines[:2] == ["script ends", "listener returned"], output
    assert len(lines) == 3 and lines[2].startswith("refused: "), output
