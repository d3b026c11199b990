using System;
using System.Collections.Generic;
using System.Linq;

namespace Svcproc.Tests
{
    /// <summary>Start-up, the sensors and LEDs with their information and readings, and refusals.</summary>
    internal static class InventoryTests
    {
        internal static void AddTo(Action<string, Machine, Action> add)
        {
            add("not_initialised_before_start_up", Machine.PosTerminal, NotInitialisedBeforeStartUp);
            add("start_up_failure_is_typed", Machine.Unserved, StartUpFailureIsTyped);
            add("sensors_and_leds_described", Machine.PosTerminal, SensorsAndLedsDescribed);
            add("readings_in_base_units", Machine.PosTerminal, ReadingsInBaseUnits);
            add("bad_handles_refused", Machine.PosTerminal, BadHandlesRefused);
        }

        private static void NotInitialisedBeforeStartUp()
        {
            var machine = new ServiceProcessor(false);
            var refused = Check.Throws<NotInitialisedException>(() => { var unused = machine.Sensors; },
                                                                "sensors before start-up");
            Check.Equal(1, refused.Code, "code");
            Check.Equal("NotInitialised", refused.CodeName, "name");
            Check.That(refused.Meaning.Contains("Initialise"), "meaning names the start-up: " + refused.Meaning);
            Check.Throws<NotInitialisedException>(() => machine.GetLed(0x40001), "an LED before start-up");
            Check.Throws<NotInitialisedException>(() => machine.SensorStateChanged += delegate { },
                                                  "a handler before start-up");
            machine.Start();
            Check.Equal(12, machine.Sensors.Count, "sensors after start-up");
        }

        private static void StartUpFailureIsTyped()
        {
            // Nothing serves the device directory: no SMBIOS table to read.
            var first = Check.Throws<SmbiosUnreadableException>(() => new ServiceProcessor(), "start-up");
            Check.Equal((int)ResultCode.SmbiosUnreadable, first.Code, "code");
            Check.Equal("SmbiosUnreadable", first.CodeName, "name");
            Check.That(first is StartupException, "a start-up failure");
            var machine = new ServiceProcessor(false);
            Check.Throws<SmbiosUnreadableException>(machine.Start, "a retry fails alike");
            Check.Throws<NotInitialisedException>(() => machine.GetSensor(0x10000), "after a failed start-up");
        }

        private static Dictionary<string, Sensor> ByDescription(ServiceProcessor machine)
        {
            return machine.Sensors.ToDictionary(sensor => sensor.Description);
        }

        private static void SensorsAndLedsDescribed()
        {
            using (var machine = new ServiceProcessor())
            {
                Check.Equal(0x00020100u, ServiceProcessor.ApiVersion, "API version");
                IList<Sensor> sensors = machine.Sensors;
                string kinds = string.Join(",", sensors.Select(sensor => sensor.Kind.ToString()).ToArray());
                Check.Equal(string.Join(",", Enumerable.Repeat("Voltage", 5).Concat(Enumerable.Repeat("Fan", 3))
                                                 .Concat(Enumerable.Repeat("Temperature", 4)).ToArray()),
                            kinds, "kinds in order");
                Check.Equal(0x10000u, sensors[0].Handle, "first handle");
                Check.Equal(0x10001u, sensors[1].Handle, "second handle");

                var named = ByDescription(machine);
                Sensor volts = named["+3.3 V"];
                Check.Equal("V", volts.Units, "voltage units");
                Check.Equal(-3, volts.UnitModifier, "voltage modifier");
                Check.Near(2.970, volts.LowerCritical, "lower critical");
                Check.Near(3.135, volts.LowerNonCritical, "lower non-critical");
                Check.Near(3.630, volts.UpperCritical, "upper critical");
                Check.Near(3.3, volts.Nominal, "nominal");
                Check.Near(1.5, volts.AccuracyPercent, "accuracy");
                Check.Near(0.016, volts.Resolution, "resolution");
                Check.That(volts.LowerFatal == null && volts.UpperFatal == null, "no fatal thresholds for +3.3 V");
                Check.Equal("Ok,Critical", string.Join(",", volts.PossibleStates.ToArray()), "state names");

                Sensor fan = named["Chassis Fan"];
                Check.Equal(0x20002u, fan.Handle, "fan handle");
                Check.Equal(SensorKind.Fan, fan.Kind, "fan kind");
                Check.Equal("RPM", fan.Units, "fan units");
                Check.That(fan.AccuracyPercent == null && fan.Resolution == null, "fan accuracy, resolution unknown");
                Check.That(fan.MinReadable == null && fan.MaxReadable == null, "fan limits unknown");
                Check.Near(500, fan.LowerCritical, "fan lower critical");
                Check.Near(1800, fan.Nominal, "fan nominal");

                Sensor cpu = named["CPU Temperature"];
                Check.Equal("\u00b0C", cpu.Units, "temperature units");
                Check.Near(85.0, cpu.UpperCritical, "temperature upper critical");
                Check.Near(100.0, cpu.UpperFatal, "temperature upper fatal");

                IList<Led> leds = machine.Leds;
                Check.Equal(4, leds.Count, "LEDs");
                Led power = leds.Single(led => led.Description == "Power");
                Check.Equal(0x40001u, power.Handle, "power LED handle");
                Check.Equal(1u, power.BitMap, "power LED bit");
                Check.Equal(5u, power.Kind, "LED kind");
                Check.That(leds.Select(led => led.BitMap).SequenceEqual(leds.Select(led => led.BitMap).OrderBy(b => b)),
                           "LEDs by ascending bit");
            }
        }

        private static void ReadingsInBaseUnits()
        {
            using (var machine = new ServiceProcessor())
            {
                var named = ByDescription(machine);
                SensorReading volts = named["+12 V"].Read();
                Check.Near(volts.Raw / 1000.0, volts.Value, "volts from millivolts");
                Check.That(volts.Value > 11.0 && volts.Value < 13.0, "+12 V reads " + volts);
                SensorReading ambient = named["Ambient Temperature"].Read();
                Check.Near(ambient.Raw / 10.0, ambient.Value, "degrees from tenths");
                Check.That(ambient.Value > 5.0 && ambient.Value < 40.0, "ambient reads " + ambient);
                SensorReading fan = named["CPU Fan"].Read();
                Check.Near(fan.Raw, fan.Value, "RPM as they come");
                Check.Equal(SensorState.Ok, fan.State, "CPU fan state");
                Check.That(machine.Leds.Single(led => led.Description == "Power").Read(), "power LED on");
            }
        }

        private static void BadHandlesRefused()
        {
            var machine = new ServiceProcessor();
            var refused = Check.Throws<InvalidHandleException>(() => machine.GetSensor(0x10099), "unknown sensor");
            Check.Equal(7, refused.Code, "code");
            Check.Equal("InvalidHandle", refused.CodeName, "name");
            Check.That(refused.Meaning.Contains("handle"), "meaning: " + refused.Meaning);
            Check.Throws<InvalidHandleException>(() => machine.GetSensor(0x40001), "an LED's handle as a sensor");
            Check.Throws<InvalidHandleException>(() => machine.GetLed(0x10000), "a sensor's handle as an LED");
            Check.Throws<InvalidHandleException>(() => machine.GetSensor(0xFFFFFFFF), "handle 0xFFFFFFFF");
            Check.Throws<InvalidHandleException>(() => machine.GetLed(0), "handle 0");
            Check.Equal("Unknown", ServiceProcessor.ResultName(99), "an unknown code's name");
            Check.Equal("Unknown", ServiceProcessor.ResultName(int.MinValue), "the least code's name");

            Sensor sensor = machine.Sensors[0];
            machine.Dispose();
            machine.Dispose();
            Check.Throws<ObjectDisposedException>(() => { var unused = machine.Sensors; }, "sensors once disposed");
            Check.Throws<ObjectDisposedException>(() => sensor.Read(), "a reading once disposed");
            Check.Throws<ObjectDisposedException>(() => machine.SensorStateChanged += delegate { },
                                                  "a handler once disposed");
            // Another object of the process still reads: the library stays started.
            Check.That(new ServiceProcessor(false).Sensors.Count == 12, "the library outlives a disposed object");
        }
    }
}
