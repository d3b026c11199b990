using System;

namespace Svcproc
{
    /// <summary>A change of one sensor's alert state, as the polling thread heard it.</summary>
    public sealed class SensorStateChangedEventArgs : EventArgs
    {
        internal SensorStateChangedEventArgs(Sensor sensor, SensorState state, uint raw)
        {
            Sensor = sensor;
            State = state;
            Raw = raw;
            Value = sensor.AlertValue(raw);
        }

        /// <summary>The sensor whose state changed.</summary>
        public Sensor Sensor { get; private set; }
        /// <summary>Critical when the alert was asserted, Ok when deasserted.</summary>
        public SensorState State { get; private set; }
        /// <summary>The reading that came with the alert, unscaled (at most 16 bits).</summary>
        public uint Raw { get; private set; }
        /// <summary>That reading in base units.</summary>
        public double Value { get; private set; }
    }
}
