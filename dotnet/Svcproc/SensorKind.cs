namespace Svcproc
{
    /// <summary>The kind of a sensor: the high half of its handle.</summary>
    public enum SensorKind
    {
        /// <summary>A voltage, in volts.</summary>
        Voltage = 1,
        /// <summary>A fan's speed, in revolutions per minute.</summary>
        Fan = 2,
        /// <summary>A temperature, in degrees Celsius.</summary>
        Temperature = 3,
    }

    /// <summary>A sensor's alert state.</summary>
    public enum SensorState
    {
        /// <summary>Within its thresholds, or the alert has been deasserted.</summary>
        Ok = 0,
        /// <summary>The service processor has asserted an alert for it.</summary>
        Critical = 1,
    }
}
