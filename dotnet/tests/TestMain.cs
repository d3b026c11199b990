using System;
using System.Collections.Generic;
using System.Diagnostics;
using System.IO;
using System.Threading;

namespace Svcproc.Tests
{
    /// <summary>What a case needs before the library is loaded.</summary>
    internal enum Machine
    {
        /// <summary>Nothing: the case does not start the library.</summary>
        None,
        /// <summary>A device directory nobody serves.</summary>
        Unserved,
        /// <summary>svcproc-sim serving its built-in POS terminal.</summary>
        PosTerminal,
        /// <summary>svcproc-sim serving alerting-machine.json: a fan critical and back every second.</summary>
        Alerting,
    }

    /// <summary>
    /// The binding's tests. Each case runs in a process of its own (the
    /// library is process-wide and its start-up cannot be undone), which
    /// this program starts after preparing the case's machine, so that a
    /// crash or a hang fails the case with a message instead of ending the
    /// run:
    ///   SvcprocTests.exe CASE           prepares, runs the case, exit status 0 when it passed
    ///   SvcprocTests.exe --child CASE   the case itself, in the prepared environment
    ///   SvcprocTests.exe --list         the cases
    ///   SvcprocTests.exe --registered A,B,...   fails unless these are the cases
    /// Environment: SVCPROC_SIM (svcproc-sim), SVCP_TEST_DATA (this folder),
    /// SVCP_MONO (the runtime to start the child with) and what each case
    /// names itself.
    /// </summary>
    internal static class TestMain
    {
        private const int LimitSeconds = 60;

        private sealed class Case
        {
            internal Machine Machine;
            internal Action Body;
            internal string[] Output; // the child's whole output, when the case says what it must be
        }

        private static readonly Dictionary<string, Case> Cases = new Dictionary<string, Case>();

        private static void Add(string name, Machine machine, Action body)
        {
            Cases.Add(name, new Case { Machine = machine, Body = body });
        }

        /// <summary>The lines the case's process must print, all of them, in this order.</summary>
        internal static void ExpectOutput(string caseName, params string[] lines)
        {
            Cases[caseName].Output = lines;
        }

        private static int Main(string[] arguments)
        {
            InventoryTests.AddTo(Add);
            ListenerTests.AddTo(Add);
            InteropTests.AddTo(Add);
            PackageTests.AddTo(Add);
            if (arguments.Length == 1 && arguments[0] == "--list")
            {
                foreach (string name in Cases.Keys)
                    Console.WriteLine(name);
                return 0;
            }
            if (arguments.Length == 2 && arguments[0] == "--registered")
            {
                // The build's list of cases against this program's: a case
                // missing there would never run.
                var registered = new List<string>(arguments[1].Split(','));
                registered.Sort(StringComparer.Ordinal);
                var cases = new List<string>(Cases.Keys);
                cases.Sort(StringComparer.Ordinal);
                Check.Equal(string.Join(",", cases.ToArray()), string.Join(",", registered.ToArray()),
                            "the cases the build registers");
                return 0;
            }
            bool child = arguments.Length == 2 && arguments[0] == "--child";
            string caseName = child ? arguments[1] : arguments.Length == 1 ? arguments[0] : null;
            Case chosen;
            if (caseName == null || !Cases.TryGetValue(caseName, out chosen))
            {
                Console.Error.WriteLine("usage: SvcprocTests.exe [--child] CASE | --list | --registered CASE,...");
                return 64;
            }
            if (child)
            {
                chosen.Body();
                Console.WriteLine("passed: " + caseName);
                return 0;
            }
            return RunPrepared(caseName, chosen);
        }

        private static int RunPrepared(string caseName, Case chosen)
        {
            Machine machine = chosen.Machine;
            string directory = Path.Combine(Path.GetTempPath(), "svcp-dotnet-" + Guid.NewGuid().ToString("N"));
            Directory.CreateDirectory(directory);
            Process simulator = null;
            try
            {
                if (machine == Machine.PosTerminal || machine == Machine.Alerting)
                    simulator = StartSimulator(directory, machine);
                string program = typeof(TestMain).Assembly.Location;
                var start = new ProcessStartInfo(Required("SVCP_MONO"),
                                                 "--debug \"" + program + "\" --child " + caseName);
                start.UseShellExecute = false;
                start.RedirectStandardOutput = chosen.Output != null;
                start.EnvironmentVariables["SVCP_DEVICE_DIR"] = machine == Machine.None ? "" : directory;
                using (Process run = Process.Start(start))
                {
                    var output = new List<string>();
                    if (chosen.Output != null)
                    {
                        run.OutputDataReceived += (sender, line) => {
                            if (line.Data != null)
                                lock (output)
                                    output.Add(line.Data);
                        };
                        run.BeginOutputReadLine();
                    }
                    if (!run.WaitForExit(LimitSeconds * 1000))
                    {
                        run.Kill();
                        Console.Error.WriteLine("failed: " + caseName + " still running after " + LimitSeconds +
                                                " s (hung)");
                        return 1;
                    }
                    run.WaitForExit(); // the end of the redirected output
                    if (run.ExitCode != 0)
                    {
                        Console.Error.WriteLine("failed: " + caseName + " exit status " + run.ExitCode);
                        return 1;
                    }
                    if (chosen.Output != null)
                    {
                        lock (output)
                        {
                            Console.WriteLine(string.Join(Environment.NewLine, output.ToArray()));
                            if (string.Join("\n", output.ToArray()) != string.Join("\n", chosen.Output))
                            {
                                Console.Error.WriteLine("failed: " + caseName + " printed the lines above, not: " +
                                                        string.Join(" / ", chosen.Output));
                                return 1;
                            }
                        }
                    }
                    return 0;
                }
            }
            finally
            {
                if (simulator != null)
                {
                    if (!simulator.HasExited)
                        simulator.Kill();
                    simulator.WaitForExit();
                    simulator.Dispose();
                }
                Directory.Delete(directory, true);
            }
        }

        /// <summary>svcproc-sim serving in the directory, once it says so.</summary>
        private static Process StartSimulator(string directory, Machine machine)
        {
            string arguments = "--device-dir \"" + directory + "\" --quiet --duration " + 2 * LimitSeconds;
            if (machine == Machine.Alerting)
                arguments += " \"" + Path.Combine(Required("SVCP_TEST_DATA"), "alerting-machine.json") + "\"";
            var start = new ProcessStartInfo(Required("SVCPROC_SIM"), arguments);
            start.UseShellExecute = false;
            start.RedirectStandardOutput = true;
            Process simulator = Process.Start(start);
            var serving = new ManualResetEvent(false);
            simulator.OutputDataReceived += (sender, line) => {
                if (line.Data != null && line.Data.Contains("serving"))
                    serving.Set();
            };
            simulator.BeginOutputReadLine();
            if (!serving.WaitOne(20000))
            {
                if (!simulator.HasExited)
                    simulator.Kill();
                throw new InvalidOperationException("svcproc-sim does not serve");
            }
            return simulator;
        }

        /// <summary>An environment variable the run needs.</summary>
        internal static string Required(string name)
        {
            string value = Environment.GetEnvironmentVariable(name);
            if (string.IsNullOrEmpty(value))
                throw new InvalidOperationException("set " + name);
            return value;
        }
    }

    /// <summary>Checks that end the case with a message.</summary>
    internal static class Check
    {
        internal static void That(bool condition, string what)
        {
            if (!condition)
                throw new Exception("check failed: " + what);
        }

        internal static void Equal<T>(T expected, T actual, string what)
        {
            if (!EqualityComparer<T>.Default.Equals(expected, actual))
                throw new Exception("check failed: " + what + ": expected " + expected + ", got " + actual);
        }

        internal static void Near(double expected, double? actual, string what)
        {
            if (!actual.HasValue || Math.Abs(expected - actual.Value) > 1e-9 * Math.Max(1, Math.Abs(expected)))
                throw new Exception("check failed: " + what + ": expected " + expected + ", got " +
                                    (actual.HasValue ? actual.Value.ToString("R") : "null"));
        }

        /// <summary>The exception of type E that the action throws; fails when it throws none or another.</summary>
        internal static E Throws<E>(Action action, string what) where E : Exception
        {
            try
            {
                action();
            }
            catch (E expected)
            {
                if (expected.GetType() != typeof(E))
                    throw new Exception("check failed: " + what + ": threw " + expected.GetType().Name + ", not " +
                                        typeof(E).Name);
                return expected;
            }
            catch (Exception other)
            {
                throw new Exception("check failed: " + what + ": threw " + other.GetType().Name + ", not " +
                                    typeof(E).Name, other);
            }
            throw new Exception("check failed: " + what + ": nothing thrown, expected " + typeof(E).Name);
        }
    }
}
