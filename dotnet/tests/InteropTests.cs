using System;
using System.Collections.Generic;
using System.Diagnostics;
using System.IO;
using System.Linq;
using System.Reflection;
using System.Runtime.InteropServices;
using System.Text.RegularExpressions;

namespace Svcproc.Tests
{
    /// <summary>The binding's declarations against the C header and the C compiler's record layout.</summary>
    internal static class InteropTests
    {
        internal static void AddTo(Action<string, Machine, Action> add)
        {
            add("records_laid_out_as_in_c", Machine.None, RecordsLaidOutAsInC);
            add("imports_match_the_header", Machine.None, ImportsMatchTheHeader);
        }

        private static readonly Dictionary<string, Type> Records = new Dictionary<string, Type> {
            { "SVCP_SENSOR_INFORMATION", typeof(SensorInformationRecord) },
            { "SVCP_LED_INFORMATION", typeof(LedInformationRecord) },
            { "SVCP_SENSOR_READING", typeof(SensorReadingRecord) },
            { "SVCP_LED_READING", typeof(LedReadingRecord) },
        };

        /// <summary>The lines a program prints; fails unless it exits with status 0.</summary>
        private static string[] Output(string program)
        {
            var start = new ProcessStartInfo(program);
            start.UseShellExecute = false;
            start.RedirectStandardOutput = true;
            using (Process run = Process.Start(start))
            {
                string text = run.StandardOutput.ReadToEnd();
                run.WaitForExit();
                Check.Equal(0, run.ExitCode, program + " exit status");
                return text.Split(new[] { '\n' }, StringSplitOptions.RemoveEmptyEntries);
            }
        }

        private static void RecordsLaidOutAsInC()
        {
            var fieldsSeen = new Dictionary<Type, int>();
            int lines = 0;
            foreach (string line in Output(TestMain.Required("SVCP_RECORD_LAYOUT")))
            {
                string[] words = line.Trim().Split(' ');
                Check.Equal(2, words.Length, "a layout line: " + line);
                int number = int.Parse(words[1]);
                string[] names = words[0].Split('.');
                Type record;
                Check.That(Records.TryGetValue(names[0], out record), "a C# record for " + names[0]);
                if (names.Length == 1)
                {
                    Check.Equal(number, Marshal.SizeOf(record), "size of " + record.Name);
                }
                else
                {
                    FieldInfo field = record.GetField(names[1], BindingFlags.Instance | BindingFlags.NonPublic |
                                                                    BindingFlags.Public);
                    Check.That(field != null, record.Name + " has " + names[1]);
                    Check.Equal(number, (int)Marshal.OffsetOf(record, names[1]), "offset of " + words[0]);
                    Check.Equal(4, Marshal.SizeOf(field.FieldType), "size of " + words[0]);
                    int seen;
                    fieldsSeen.TryGetValue(record, out seen);
                    fieldsSeen[record] = seen + 1;
                }
                ++lines;
            }
            Check.Equal(4 + 18 + 2 + 2 + 1, lines, "layout lines");
            foreach (Type record in Records.Values)
            {
                int count = record.GetFields(BindingFlags.Instance | BindingFlags.NonPublic | BindingFlags.Public)
                                .Length;
                Check.Equal(count, fieldsSeen[record], record.Name + " fields the C record has");
                Check.That(record.StructLayoutAttribute.Value == LayoutKind.Sequential, record.Name + " sequential");
            }
        }

        /// <summary>C types of the header as the binding must declare them.</summary>
        private static readonly Dictionary<string, Type> CTypes = new Dictionary<string, Type> {
            { "void", typeof(void) },
            { "SVCP_UINT32", typeof(uint) },
            { "SVCP_HANDLE", typeof(uint) },
            { "SVCP_RESULT", typeof(int) },
            { "size_t", typeof(UIntPtr) },
            { "size_t*", typeof(UIntPtr).MakeByRefType() },
            { "SVCP_HANDLE*", typeof(uint[]) },
            { "char*", typeof(byte[]) },
            { "constchar*", typeof(IntPtr) },
            { "void*", typeof(IntPtr) },
            { "SVCP_SENSOR_INFORMATION*", typeof(SensorInformationRecord).MakeByRefType() },
            { "SVCP_LED_INFORMATION*", typeof(LedInformationRecord).MakeByRefType() },
            { "SVCP_SENSOR_READING*", typeof(SensorReadingRecord).MakeByRefType() },
            { "SVCP_LED_READING*", typeof(LedReadingRecord).MakeByRefType() },
            { "SVCP_SENSOR_STATE_CALLBACK", typeof(NativeMethods.SensorStateCallback) },
        };

        /// <summary>The C type of a declaration without its name: "SVCP_HANDLE* handles" is "SVCP_HANDLE*".</summary>
        private static Type Declared(string declaration, bool named, string where)
        {
            string text = declaration.Trim();
            if (named)
                text = Regex.Replace(text, @"\w+$", "");
            string key = Regex.Replace(text, @"\s+", "");
            Type type;
            Check.That(CTypes.TryGetValue(key, out type), where + ": C type '" + key + "' is in the test's table");
            return type;
        }

        private static void ImportsMatchTheHeader()
        {
            string header = File.ReadAllText(TestMain.Required("SVCP_C_HEADER"));
            header = Regex.Replace(header, @"/\*.*?\*/", " ", RegexOptions.Singleline);
            var declared = new Dictionary<string, Match>();
            foreach (Match match in Regex.Matches(header,
                                                  @"SVCPROC_EXPORT\s+([\w\s\*]+?)\s*SVCP_CALL\s+(Svcp\w+)\s*\(([^)]*)\)"))
                declared.Add(match.Groups[2].Value, match);
            Check.Equal(13, declared.Count, "functions the header exports");

            var imports = typeof(NativeMethods).GetMethods(BindingFlags.Static | BindingFlags.NonPublic)
                              .Where(method => (method.Attributes & MethodAttributes.PinvokeImpl) != 0)
                              .ToDictionary(method => method.Name);
            Check.Equal(string.Join(",", declared.Keys.OrderBy(name => name).ToArray()),
                        string.Join(",", imports.Keys.OrderBy(name => name).ToArray()), "imported functions");
            foreach (KeyValuePair<string, Match> function in declared)
            {
                MethodInfo import = imports[function.Key];
                var attribute = (DllImportAttribute)import.GetCustomAttributes(typeof(DllImportAttribute), false)
                                    .Single();
                Check.Equal(CallingConvention.Cdecl, attribute.CallingConvention, function.Key + " convention");
                Check.Equal("svcproc", attribute.Value, function.Key + " library");
                Check.Equal(Declared(function.Value.Groups[1].Value, false, function.Key), import.ReturnType,
                            function.Key + " result");
                string list = function.Value.Groups[3].Value.Trim();
                string[] parameters = list == "void" ? new string[0] : list.Split(',');
                ParameterInfo[] mine = import.GetParameters();
                Check.Equal(parameters.Length, mine.Length, function.Key + " parameters");
                for (int i = 0; i < parameters.Length; ++i)
                    Check.Equal(Declared(parameters[i], true, function.Key), mine[i].ParameterType,
                                function.Key + " parameter " + i);
                // The entry point is there in the library this run loaded.
                Marshal.Prelink(import);
            }

            Match callback = Regex.Match(header, @"SVCP_CALL\s*\*\s*SVCP_SENSOR_STATE_CALLBACK\)\s*\(([^)]*)\)");
            Check.That(callback.Success, "the header declares the callback");
            MethodInfo invoke = typeof(NativeMethods.SensorStateCallback).GetMethod("Invoke");
            string[] callbackParameters = callback.Groups[1].Value.Split(',');
            Check.Equal(callbackParameters.Length, invoke.GetParameters().Length, "callback parameters");
            for (int i = 0; i < callbackParameters.Length; ++i)
                Check.Equal(Declared(callbackParameters[i], true, "callback"), invoke.GetParameters()[i].ParameterType,
                            "callback parameter " + i);
            var pointer = (UnmanagedFunctionPointerAttribute)typeof(NativeMethods.SensorStateCallback)
                              .GetCustomAttributes(typeof(UnmanagedFunctionPointerAttribute), false)
                              .Single();
            Check.Equal(CallingConvention.Cdecl, pointer.CallingConvention, "callback convention");
        }
    }
}
