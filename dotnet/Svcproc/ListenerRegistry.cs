using System;
using System.Collections.Generic;
using System.Diagnostics;

namespace Svcproc
{
    /// <summary>
    /// The registrations with the library, for the whole process. One
    /// delegate, held by a static field and so never collected, serves every
    /// registration; its context is a token this class maps to the
    /// <see cref="ServiceProcessor"/> to raise the event on. The library
    /// therefore never holds a pointer into anything a collection could
    /// free, and a registered ServiceProcessor stays reachable from here
    /// until its registration is withdrawn.
    ///
    /// At process exit (and at the unload of the application domain) every
    /// registration is withdrawn, waiting for a call in progress: afterwards
    /// the runtime could not take a call from the polling thread, and the
    /// library's unload waits for that thread.
    ///
    /// Locking: s_gate guards the tables and is held across a registration
    /// (which never waits for a delivery), never across an unregistration
    /// (which does). A delivery takes it only to look its token up.
    /// </summary>
    internal static class ListenerRegistry
    {
        private static readonly NativeMethods.SensorStateCallback s_callback = Deliver;
        private static readonly object s_gate = new object();
        // token -> the object to raise on; removed before the unregistration.
        private static readonly Dictionary<IntPtr, ServiceProcessor> s_targets =
            new Dictionary<IntPtr, ServiceProcessor>();
        // Tokens registered with the library until their unregistration has returned.
        private static readonly Dictionary<IntPtr, bool> s_registered = new Dictionary<IntPtr, bool>();
        private static uint s_nextToken = 1;
        private static bool s_closed;

        static ListenerRegistry()
        {
            AppDomain.CurrentDomain.ProcessExit += delegate { Close(); };
            AppDomain.CurrentDomain.DomainUnload += delegate { Close(); };
        }

        /// <summary>Registers with the library a token that raises on <paramref name="target"/>.</summary>
        /// <exception cref="InvalidOperationException">The process or application domain is ending.</exception>
        /// <exception cref="ServiceProcessorException">The library refused (not started up).</exception>
        internal static IntPtr Register(ServiceProcessor target)
        {
            lock (s_gate)
            {
                if (s_closed)
                    throw new InvalidOperationException("svcproc: the process is exiting; no listener can be added");
                IntPtr token = NewToken();
                s_targets.Add(token, target);
                s_registered.Add(token, true);
                int result = NativeMethods.SvcpRegisterSensorStateListener(s_callback, token);
                if (result != NativeMethods.Success)
                {
                    s_targets.Remove(token);
                    s_registered.Remove(token);
                    throw ServiceProcessorException.For(result);
                }
                return token;
            }
        }

        /// <summary>
        /// Withdraws the token's registration. On any thread but the polling
        /// thread it returns once no call for the token is running; the
        /// caller must hold no lock a handler takes.
        /// </summary>
        internal static int Unregister(IntPtr token)
        {
            lock (s_gate)
            {
                s_targets.Remove(token);
                if (!s_registered.ContainsKey(token))
                    return NativeMethods.Success;
            }
            int result = NativeMethods.SvcpUnregisterSensorStateListener(s_callback, token);
            if (result == NativeMethods.Success)
            {
                // Otherwise it may still be registered: the exit withdraws it.
                lock (s_gate)
                    s_registered.Remove(token);
            }
            return result;
        }

        /// <summary>REQUIRES: s_gate held. A token no registration holds; 32 bits, as pointers are on the home platform.</summary>
        private static IntPtr NewToken()
        {
            while (true)
            {
                IntPtr token = new IntPtr(unchecked((int)s_nextToken));
                s_nextToken = s_nextToken == uint.MaxValue ? 1 : s_nextToken + 1;
                if (!s_registered.ContainsKey(token))
                    return token;
            }
        }

        private static void Deliver(IntPtr context, uint handle, uint state, uint reading)
        {
            // Nothing may leave this frame: an exception crossing into the
            // library's thread ends the process.
            try
            {
                // The runtime adopts the library's thread at its first call
                // here (as a background thread): on Mono it must also be kept
                // from holding up the exit.
                MonoAdoptedThread.Release();
                ServiceProcessor target;
                lock (s_gate)
                    s_targets.TryGetValue(context, out target);
                if (target != null)
                    target.Raise(handle, state, reading);
            }
            catch (Exception exception)
            {
                Trace.TraceError("svcproc: an alert for 0x{0:x5} could not be delivered: {1}", handle, exception);
            }
        }

        private static void Close()
        {
            List<IntPtr> registered;
            lock (s_gate)
            {
                s_closed = true;
                s_targets.Clear();
                registered = new List<IntPtr>(s_registered.Keys);
            }
            foreach (IntPtr token in registered)
                NativeMethods.SvcpUnregisterSensorStateListener(s_callback, token);
            lock (s_gate)
                s_registered.Clear();
        }
    }
}
