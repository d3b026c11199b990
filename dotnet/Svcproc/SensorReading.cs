namespace Svcproc
{
    /// <summary>A sensor's reading and alert state.</summary>
    public struct SensorReading
    {
        internal SensorReading(double value, uint raw, SensorState state)
        {
            Value = value;
            Raw = raw;
            State = state;
        }

        /// <summary>The reading in base units (volts, revolutions per minute, degrees Celsius).</summary>
        public double Value { get; private set; }

        /// <summary>The reading as the library gives it, in the sensor's units (millivolts, RPM, tenths of a degree).</summary>
        public uint Raw { get; private set; }

        /// <summary>The sensor's alert state.</summary>
        public SensorState State { get; private set; }

        /// <summary>The value, its raw number and the state, for logs.</summary>
        public override string ToString() { return Value + " (raw " + Raw + ", " + State + ")"; }
    }
}
