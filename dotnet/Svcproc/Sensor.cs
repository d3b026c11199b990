using System;
using System.Collections.Generic;

namespace Svcproc
{
    /// <summary>
    /// One voltage, fan or temperature sensor as described at start-up.
    /// Limits and thresholds are in base units (volts, revolutions per
    /// minute, degrees Celsius); null where SMBIOS gives none.
    /// </summary>
    public sealed class Sensor
    {
        private static readonly Dictionary<uint, string> UnitSymbols =
            new Dictionary<uint, string> { { 2, "\u00b0C" }, { 5, "V" }, { 19, "RPM" } };

        private readonly ServiceProcessor m_processor;

        internal Sensor(ServiceProcessor processor, uint handle, SensorInformationRecord record, string description,
                        IList<string> possibleStates)
        {
            m_processor = processor;
            Handle = handle;
            Kind = (SensorKind)(handle >> 16);
            Description = description;
            PossibleStates = new List<string>(possibleStates).AsReadOnly();
            BaseUnits = record.BaseUnits;
            UnitModifier = record.UnitModifier;
            string symbol;
            Units = UnitSymbols.TryGetValue(record.BaseUnits, out symbol) ? symbol : "unit " + record.BaseUnits;
            SensorType = record.SensorType;
            Hysteresis = record.Hysteresis;
            AccuracyPercent = record.Accuracy == NativeMethods.ValueUnknown ? (double?)null : record.Accuracy / 100.0;
            Resolution = Scaled(unchecked((int)record.Resolution));
            Nominal = Scaled(record.NominalReading);
            MinReadable = Scaled(record.MinReadable);
            MaxReadable = Scaled(record.MaxReadable);
            LowerNonCritical = Scaled(record.LowerThresholdNonCritical);
            LowerCritical = Scaled(record.LowerThresholdCritical);
            LowerFatal = Scaled(record.LowerThresholdFatal);
            UpperNonCritical = Scaled(record.UpperThresholdNonCritical);
            UpperCritical = Scaled(record.UpperThresholdCritical);
            UpperFatal = Scaled(record.UpperThresholdFatal);
        }

        /// <summary>The handle: kind in bits 16-31, index within the kind in bits 0-15.</summary>
        public uint Handle { get; private set; }
        /// <summary>Voltage, fan or temperature.</summary>
        public SensorKind Kind { get; private set; }
        /// <summary>The sensor's description from SMBIOS.</summary>
        public string Description { get; private set; }
        /// <summary>The names of the alert states, by <see cref="SensorState"/>: "Ok", "Critical".</summary>
        public IList<string> PossibleStates { get; private set; }
        /// <summary>The DMTF base unit code: 5 volts, 19 revolutions per minute, 2 degrees Celsius.</summary>
        public uint BaseUnits { get; private set; }
        /// <summary>The power of ten of the library's numbers: -3 voltage, 0 fan, -1 temperature.</summary>
        public int UnitModifier { get; private set; }
        /// <summary>The base unit's symbol: "V", "RPM", "°C".</summary>
        public string Units { get; private set; }
        /// <summary>The DMTF sensor type: 3 voltage, 5 tachometer, 2 temperature.</summary>
        public uint SensorType { get; private set; }
        /// <summary>The hysteresis, in the library's units.</summary>
        public uint Hysteresis { get; private set; }
        /// <summary>The accuracy in percent; null when unknown (fans).</summary>
        public double? AccuracyPercent { get; private set; }
        /// <summary>The resolution in base units; null when unknown (fans).</summary>
        public double? Resolution { get; private set; }
        /// <summary>The nominal value (a fan's nominal speed).</summary>
        public double? Nominal { get; private set; }
        /// <summary>The least value the sensor can read.</summary>
        public double? MinReadable { get; private set; }
        /// <summary>The greatest value the sensor can read.</summary>
        public double? MaxReadable { get; private set; }
        /// <summary>The lower non-critical threshold.</summary>
        public double? LowerNonCritical { get; private set; }
        /// <summary>The lower critical threshold.</summary>
        public double? LowerCritical { get; private set; }
        /// <summary>The lower fatal (non-recoverable) threshold.</summary>
        public double? LowerFatal { get; private set; }
        /// <summary>The upper non-critical threshold.</summary>
        public double? UpperNonCritical { get; private set; }
        /// <summary>The upper critical threshold.</summary>
        public double? UpperCritical { get; private set; }
        /// <summary>The upper fatal (non-recoverable) threshold.</summary>
        public double? UpperFatal { get; private set; }

        /// <summary>The current reading, at most 500 ms old; the last known one when the service processor does not answer.</summary>
        /// <exception cref="ObjectDisposedException">The service processor object has been disposed.</exception>
        public SensorReading Read()
        {
            m_processor.ThrowIfDisposed();
            SensorReadingRecord record;
            ServiceProcessorException.Check(NativeMethods.SvcpReadSensor(Handle, out record));
            return new SensorReading(Scale(record.CurrentReading), record.CurrentReading,
                                     (SensorState)record.CurrentState);
        }

        /// <summary>
        /// An alert's raw reading in base units: the service processor sends
        /// voltages and temperatures in tenths of the units <see cref="Read"/> gives.
        /// </summary>
        public double AlertValue(uint raw) { return Scale(Kind == SensorKind.Fan ? raw : raw * 10.0); }

        /// <summary>The handle, kind and description.</summary>
        public override string ToString()
        {
            return string.Format("Sensor(0x{0:x5}, {1}, {2})", Handle, Kind, Description);
        }

        private double Scale(double raw) { return raw * Math.Pow(10, UnitModifier); }

        private double? Scaled(int raw) { return raw == NativeMethods.ValueUnknown ? (double?)null : Scale(raw); }
    }
}
