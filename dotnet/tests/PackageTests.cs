using System;
using System.Collections.Generic;
using System.IO;
using System.IO.Compression;
using System.Linq;
using System.Text;
using System.Text.RegularExpressions;
using System.Xml.Linq;

namespace Svcproc.Tests
{
    /// <summary>The NuGet package: its entries, its manifest, and the right DLL for each architecture.</summary>
    internal static class PackageTests
    {
        internal static void AddTo(Action<string, Machine, Action> add)
        {
            add("nuget_package_layout", Machine.None, NugetPackageLayout);
        }

        private static readonly string[] Entries = {
            "Svcproc.nuspec", "[Content_Types].xml", "_rels/.rels", "build/Svcproc.targets",
            "lib/netstandard2.0/Svcproc.dll", "lib/netstandard2.0/Svcproc.xml",
            "runtimes/win-x86/native/svcproc.dll", "runtimes/win-x86/native/log.dll",
            "runtimes/win-x64/native/svcproc.dll", "runtimes/win-x64/native/log.dll",
        };

        private static byte[] Bytes(ZipArchive package, string name)
        {
            using (Stream stream = package.GetEntry(name).Open())
            using (var copy = new MemoryStream())
            {
                stream.CopyTo(copy);
                return copy.ToArray();
            }
        }

        /// <summary>The machine field of a PE file's COFF header: 0x14c x86, 0x8664 x64.</summary>
        private static int PeMachine(byte[] image, string name)
        {
            Check.That(image.Length > 0x40 && image[0] == 'M' && image[1] == 'Z', name + " is a PE file");
            int pe = BitConverter.ToInt32(image, 0x3c);
            Check.That(pe > 0 && pe + 6 < image.Length && Encoding.ASCII.GetString(image, pe, 4) == "PE\0\0",
                       name + " has a PE header");
            return BitConverter.ToUInt16(image, pe + 4);
        }

        private static bool Holds(byte[] image, string text)
        {
            return Encoding.ASCII.GetString(image).Contains(text);
        }

        private static void NugetPackageLayout()
        {
            string version = TestMain.Required("SVCP_VERSION");
            using (ZipArchive package = ZipFile.OpenRead(TestMain.Required("SVCP_NUPKG")))
            {
                Check.Equal(string.Join(",", Entries.OrderBy(name => name, StringComparer.Ordinal).ToArray()),
                            string.Join(",", package.Entries.Select(entry => entry.FullName)
                                                 .OrderBy(name => name, StringComparer.Ordinal).ToArray()),
                            "the package's entries");

                XNamespace nuspec = "http://schemas.microsoft.com/packaging/2013/05/nuspec.xsd";
                XElement metadata = XDocument.Parse(Encoding.UTF8.GetString(Bytes(package, "Svcproc.nuspec")))
                                        .Root.Element(nuspec + "metadata");
                Check.Equal("Svcproc", (string)metadata.Element(nuspec + "id"), "package id");
                Check.Equal(version, (string)metadata.Element(nuspec + "version"), "package version");
                Check.That(!string.IsNullOrEmpty((string)metadata.Element(nuspec + "description")), "a description");
                Check.Equal(".NETStandard2.0",
                            (string)metadata.Element(nuspec + "dependencies").Element(nuspec + "group")
                                .Attribute("targetFramework"),
                            "dependency group");

                XNamespace relationships = "http://schemas.openxmlformats.org/package/2006/relationships";
                XElement manifest = XDocument.Parse(Encoding.UTF8.GetString(Bytes(package, "_rels/.rels")))
                                        .Root.Element(relationships + "Relationship");
                Check.Equal("/Svcproc.nuspec", (string)manifest.Attribute("Target"), "the manifest relationship");
                XNamespace types = "http://schemas.openxmlformats.org/package/2006/content-types";
                var extensions = XDocument.Parse(Encoding.UTF8.GetString(Bytes(package, "[Content_Types].xml")))
                                     .Root.Elements(types + "Default")
                                     .Select(type => (string)type.Attribute("Extension"))
                                     .ToList();
                foreach (string name in Entries.Where(name => name != "[Content_Types].xml"))
                    Check.That(extensions.Contains(Path.GetExtension(name).TrimStart('.')),
                               "a content type for " + name);

                byte[] binding = Bytes(package, "lib/netstandard2.0/Svcproc.dll");
                Check.That(binding.SequenceEqual(File.ReadAllBytes(TestMain.Required("SVCP_BINDING"))),
                           "the package's Svcproc.dll is the one built");
                Check.That(Encoding.UTF8.GetString(Bytes(package, "lib/netstandard2.0/Svcproc.xml"))
                               .Contains("T:Svcproc.ServiceProcessor"),
                           "the documentation describes ServiceProcessor");

                // Each folder's DLLs are of its architecture, and each is the
                // library or the logging library it is named after.
                foreach (var runtime in new[] { Tuple.Create("win-x86", 0x14c), Tuple.Create("win-x64", 0x8664) })
                {
                    string folder = "runtimes/" + runtime.Item1 + "/native/";
                    byte[] library = Bytes(package, folder + "svcproc.dll");
                    byte[] log = Bytes(package, folder + "log.dll");
                    Check.Equal(runtime.Item2, PeMachine(library, folder + "svcproc.dll"), folder + "svcproc.dll machine");
                    Check.Equal(runtime.Item2, PeMachine(log, folder + "log.dll"), folder + "log.dll machine");
                    Check.That(Holds(library, "SvcpInitialiseServiceDriver"), folder + "svcproc.dll exports the C interface");
                    Check.That(Holds(library, "log.dll"), folder + "svcproc.dll imports log.dll");
                    Check.That(Holds(log, "LogQuick"), folder + "log.dll exports LogQuick");
                }
            }

            // The project a Windows developer builds says the same version.
            string project = File.ReadAllText(TestMain.Required("SVCP_CSPROJ"));
            Check.Equal(version, Regex.Match(project, "<Version>([^<]*)</Version>").Groups[1].Value,
                        "the .csproj's version");
        }
    }
}
