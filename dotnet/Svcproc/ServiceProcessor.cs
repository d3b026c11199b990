using System;
using System.Collections.Generic;
using System.Diagnostics;
using System.Threading;

namespace Svcproc
{
    /// <summary>
    /// The machine's service processor through the svcproc library: its
    /// sensors and LEDs, their readings, and alerts as an event.
    /// </summary>
    /// <remarks>
    /// The library is process-wide: every ServiceProcessor of a process
    /// shares one start-up and one set of sensors; start-up cannot be undone.
    /// Every member may be called from any thread.
    ///
    /// While <see cref="SensorStateChanged"/> has handlers the object is
    /// registered with the library and kept alive by that registration, also
    /// when the application drops its last reference to it: the events keep
    /// coming until the last handler is removed or the object is disposed.
    /// </remarks>
    public sealed class ServiceProcessor : IDisposable
    {
        /// <summary>Handles are the kind in bits 16-31 and a 16-bit index: at most this many of three sensor kinds.</summary>
        private const int MaxSensors = 3 << 16;
        /// <summary>The LED state word has 16 bits.</summary>
        private const int MaxLeds = 16;

        private readonly object m_gate = new object();
        private EventHandler<SensorStateChangedEventArgs> m_handlers;
        private IntPtr m_token; // non-zero while registered with the library
        private bool m_bDisposed;
        private IList<Sensor> m_sensors;
        private Dictionary<uint, Sensor> m_sensorsByHandle;

        /// <summary>Starts the library up (nothing when it is already running).</summary>
        /// <exception cref="StartupException">Start-up failed; a later <see cref="Start"/> may succeed.</exception>
        /// <exception cref="DllNotFoundException">svcproc.dll (libsvcproc.so) or a library it needs is not found.</exception>
        public ServiceProcessor() : this(true) { }

        /// <summary>With <paramref name="start"/> false, the object without a start-up: call <see cref="Start"/>.</summary>
        public ServiceProcessor(bool start)
        {
            if (start)
                Start();
        }

        /// <summary>The version of the C interface of the library loaded (0x00020100 for 2.1).</summary>
        public static uint ApiVersion
        {
            get { return NativeMethods.SvcpGetApiVersion(); }
        }

        /// <summary>The name of a result code ("InvalidHandle"; "Unknown" outside 0 to 10).</summary>
        public static string ResultName(int code) { return Texts.ResultName(code); }

        /// <summary>The one-line meaning of a result code.</summary>
        public static string ResultMeaning(int code) { return Texts.ResultMeaning(code); }

        /// <summary>
        /// Reads the SMBIOS inventory, opens the service processor's driver
        /// and starts alert polling; nothing when the library is running.
        /// </summary>
        /// <exception cref="StartupException">Start-up failed; it may be tried again.</exception>
        public void Start()
        {
            ThrowIfDisposed();
            ServiceProcessorException.Check(NativeMethods.SvcpInitialiseServiceDriver());
        }

        /// <summary>Every sensor: voltages, fans, temperatures, by index within each kind. Read once; the set never changes.</summary>
        /// <exception cref="NotInitialisedException">Before a successful start-up.</exception>
        public IList<Sensor> Sensors
        {
            get
            {
                ThrowIfDisposed();
                IList<Sensor> sensors = Volatile.Read(ref m_sensors);
                if (sensors != null)
                    return sensors;
                var list = new List<Sensor>();
                var byHandle = new Dictionary<uint, Sensor>();
                foreach (uint handle in Handles(NativeMethods.SvcpEnumerateSensorHandles, MaxSensors))
                {
                    Sensor sensor = GetSensor(handle);
                    list.Add(sensor);
                    byHandle[handle] = sensor;
                }
                lock (m_gate)
                {
                    if (m_sensors == null)
                    {
                        m_sensorsByHandle = byHandle;
                        Volatile.Write(ref m_sensors, list.AsReadOnly());
                    }
                    return m_sensors;
                }
            }
        }

        /// <summary>Every LED, by ascending bit.</summary>
        /// <exception cref="NotInitialisedException">Before a successful start-up.</exception>
        public IList<Led> Leds
        {
            get
            {
                ThrowIfDisposed();
                var leds = new List<Led>();
                foreach (uint handle in Handles(NativeMethods.SvcpEnumerateLedHandles, MaxLeds))
                    leds.Add(GetLed(handle));
                return leds.AsReadOnly();
            }
        }

        /// <summary>The sensor with this handle, described afresh.</summary>
        /// <exception cref="InvalidHandleException">No sensor has this handle (an LED's neither).</exception>
        /// <exception cref="NotInitialisedException">Before a successful start-up.</exception>
        public Sensor GetSensor(uint handle)
        {
            ThrowIfDisposed();
            SensorInformationRecord record = default(SensorInformationRecord);
            string description = Texts.Fetch(delegate(byte[] text, UIntPtr size, out UIntPtr length) {
                return NativeMethods.SvcpGetSensorInformation(handle, out record, text, size, out length);
            });
            var states = new List<string>();
            for (uint state = 0; state < record.PossibleStateCount && state < 16; ++state)
            {
                uint index = state;
                states.Add(Texts.Fetch(delegate(byte[] text, UIntPtr size, out UIntPtr length) {
                    return NativeMethods.SvcpGetSensorPossibleState(handle, index, text, size, out length);
                }));
            }
            return new Sensor(this, handle, record, description, states);
        }

        /// <summary>The LED with this handle.</summary>
        /// <exception cref="InvalidHandleException">No LED has this handle (a sensor's neither).</exception>
        /// <exception cref="NotInitialisedException">Before a successful start-up.</exception>
        public Led GetLed(uint handle)
        {
            ThrowIfDisposed();
            LedInformationRecord record = default(LedInformationRecord);
            string description = Texts.Fetch(delegate(byte[] text, UIntPtr size, out UIntPtr length) {
                return NativeMethods.SvcpGetLedInformation(handle, out record, text, size, out length);
            });
            return new Led(this, handle, record, description);
        }

        /// <summary>
        /// Raised at each change of a sensor's alert state, on the library's
        /// polling thread, one call at a time; handlers that share data with
        /// other threads must lock it, and should return quickly (alerts are
        /// polled every 100 ms on that thread). A handler may add and remove
        /// handlers and read sensors. An exception a handler throws is
        /// written to <see cref="Trace"/> and dropped: it cannot cross into
        /// the library. Removing the last handler (or <see cref="Dispose"/>)
        /// on any other thread waits for a call in progress, so it must not
        /// be done holding a lock a handler takes.
        /// </summary>
        /// <exception cref="NotInitialisedException">Adding the first handler before a successful start-up.</exception>
        /// <exception cref="InvalidOperationException">Adding a handler while the process exits.</exception>
        public event EventHandler<SensorStateChangedEventArgs> SensorStateChanged
        {
            add
            {
                if (value == null)
                    return;
                // Described before the first alert can come.
                IList<Sensor> sensors = Sensors;
                lock (m_gate)
                {
                    ThrowIfDisposed();
                    if (m_token == IntPtr.Zero)
                        m_token = ListenerRegistry.Register(this);
                    m_handlers += value;
                }
                GC.KeepAlive(sensors);
            }
            remove
            {
                IntPtr withdrawn = IntPtr.Zero;
                lock (m_gate)
                {
                    m_handlers -= value;
                    if (m_handlers == null && m_token != IntPtr.Zero)
                    {
                        withdrawn = m_token;
                        m_token = IntPtr.Zero;
                    }
                }
                if (withdrawn != IntPtr.Zero)
                    ServiceProcessorException.Check(ListenerRegistry.Unregister(withdrawn));
            }
        }

        /// <summary>
        /// Removes every handler of <see cref="SensorStateChanged"/>, waiting
        /// for a call in progress (unless called from a handler), and makes
        /// every further call throw <see cref="ObjectDisposedException"/>.
        /// The library itself stays started for the process.
        /// </summary>
        public void Dispose()
        {
            IntPtr withdrawn;
            lock (m_gate)
            {
                if (m_bDisposed)
                    return;
                m_bDisposed = true;
                m_handlers = null;
                withdrawn = m_token;
                m_token = IntPtr.Zero;
            }
            if (withdrawn != IntPtr.Zero)
                ListenerRegistry.Unregister(withdrawn);
        }

        internal void ThrowIfDisposed()
        {
            if (Volatile.Read(ref m_bDisposed))
                throw new ObjectDisposedException(typeof(ServiceProcessor).Name);
        }

        /// <summary>On the polling thread: every handler, each on its own, so that one that throws stops no other.</summary>
        internal void Raise(uint handle, uint state, uint reading)
        {
            EventHandler<SensorStateChangedEventArgs> handlers = Volatile.Read(ref m_handlers);
            if (handlers == null)
                return;
            Sensor sensor;
            Dictionary<uint, Sensor> byHandle = Volatile.Read(ref m_sensorsByHandle);
            if (byHandle == null || !byHandle.TryGetValue(handle, out sensor))
                sensor = GetSensor(handle);
            var change = new SensorStateChangedEventArgs(sensor, (SensorState)state, reading);
            foreach (EventHandler<SensorStateChangedEventArgs> handler in handlers.GetInvocationList())
            {
                try
                {
                    handler(this, change);
                }
                catch (Exception exception)
                {
                    Trace.TraceError("svcproc: a SensorStateChanged handler threw: {0}", exception);
                }
            }
        }

        private delegate int Enumeration(uint[] handles, UIntPtr capacity, out UIntPtr count);

        private static uint[] Handles(Enumeration enumerate, int bound)
        {
            UIntPtr count;
            ServiceProcessorException.Check(enumerate(null, UIntPtr.Zero, out count));
            if (count.ToUInt64() > (ulong)bound)
                throw new InvalidOperationException("svcproc reports " + count + " handles, more than " + bound);
            var handles = new uint[(int)count.ToUInt64()];
            ServiceProcessorException.Check(enumerate(handles, (UIntPtr)handles.Length, out count));
            if (count.ToUInt64() < (ulong)handles.Length)
                Array.Resize(ref handles, (int)count.ToUInt64());
            return handles;
        }
    }
}
