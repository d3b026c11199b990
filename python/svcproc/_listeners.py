"""The listeners registered with the C library, for the whole process.

The library keeps (callback, context) pairs, and a process may hold any
number of ServiceProcessor objects over it. One C callback, made at import
and never released, serves every registration; the context is a token this
module maps to the function to call. Nothing the library holds points into
an object that a garbage collection could free, and a registration lives
here, with whatever its function refers to, until it is removed.

At interpreter exit every registration is withdrawn (atexit, which runs
before finalisation stops other threads), waiting for a call in progress
as removal does: afterwards the polling thread could not take the GIL to
run one, and the library's unload waits for that thread.

Locking: _lock guards the tables and is held across a registration (which
never waits for a delivery), never across an unregistration (which does).
A delivery takes no lock here.
"""

import atexit
import threading

from . import _native

# Contexts are pointers: 32 bits on the home platform.
_LAST_TOKEN = 0xFFFFFFFF

_lock = threading.Lock()
_functions = {}  # token -> function(handle, state, raw) to call for it
_registered = {}  # token -> library, until its unregistration has returned
_next_token = 1
_closed = False


def _deliver(context, handle, state, raw):
    # Looked up at each call: a removed token finds nothing, even during a
    # delivery that began before the removal, and once the exit has begun
    # no token finds anything.
    function = _functions.get(context)
    if function is not None:
        function(handle, state, raw)


_CALLBACK = _native.CALLBACK(_deliver)


def _new_token():
    """REQUIRES: _lock held. A token no registration holds."""
    global _next_token
    while True:
        token = _next_token
        _next_token = 1 if token == _LAST_TOKEN else token + 1
        if token not in _registered:
            return token


def register(library, function):
    """(result, token): registers function(handle, state, raw) with the
    library; the token only means something when the result is success.
    RuntimeError once the interpreter has begun to exit."""
    with _lock:
        if _closed:
            raise RuntimeError("svcproc: the interpreter is exiting; no listener can be added")
        token = _new_token()
        _functions[token] = function
        _registered[token] = library
        result = library.SvcpRegisterSensorStateListener(_CALLBACK, token)
        if result != _native.SUCCESS:
            del _functions[token]
            del _registered[token]
        return result, token


def unregister(token):
    """The library's result of withdrawing the token's registration
    (success when there is none). On any thread but the polling thread it
    waits for a call in progress; called holding no lock a listener takes."""
    with _lock:
        _functions.pop(token, None)
        library = _registered.get(token)
    if library is None:
        return _native.SUCCESS
    result = library.SvcpUnregisterSensorStateListener(_CALLBACK, token)
    if result == _native.SUCCESS:
        # Otherwise it may still be registered: the exit withdraws it.
        with _lock:
            _registered.pop(token, None)
    return result


def _close():
    global _closed
    with _lock:
        _closed = True
        _functions.clear()
        registered = list(_registered.items())
    for token, library in registered:
        library.SvcpUnregisterSensorStateListener(_CALLBACK, token)
    with _lock:
        _registered.clear()


atexit.register(_close)
