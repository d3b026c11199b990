using System;
using System.Runtime.InteropServices;
using System.Text;

namespace Svcproc
{
    /// <summary>The library's UTF-8 texts into strings.</summary>
    internal static class Texts
    {
        /// <summary>Longer than any description or state name SMBIOS can hold: a bound on what the library reports.</summary>
        internal const int MaxLength = 65535;

        /// <summary>One two-call text query: (buffer, size, out length), as the C functions take them.</summary>
        internal delegate int Query(byte[] buffer, UIntPtr size, out UIntPtr length);

        /// <summary>The text a query gives: the length first, then the text in a buffer one longer.</summary>
        internal static string Fetch(Query query)
        {
            UIntPtr length;
            ServiceProcessorException.Check(query(null, UIntPtr.Zero, out length));
            // The texts never change after start-up; a second refusal would
            // mean a library that breaks its own rule.
            for (int attempt = 0; attempt < 3; ++attempt)
            {
                int size = Bounded(length) + 1;
                byte[] buffer = new byte[size];
                int result = query(buffer, (UIntPtr)size, out length);
                if (result == NativeMethods.BufferTooSmall)
                    continue;
                ServiceProcessorException.Check(result);
                return Encoding.UTF8.GetString(buffer, 0, Bounded(length));
            }
            throw ServiceProcessorException.For(NativeMethods.BufferTooSmall);
        }

        private static int Bounded(UIntPtr length)
        {
            ulong value = length.ToUInt64();
            if (value > MaxLength)
                throw new InvalidOperationException("svcproc reports a text of " + value + " bytes, more than " +
                                                    MaxLength);
            return (int)value;
        }

        internal static string ResultName(int code) { return FromStatic(NativeMethods.SvcpResultName(code)); }

        internal static string ResultMeaning(int code) { return FromStatic(NativeMethods.SvcpResultMeaning(code)); }

        /// <summary>A zero-terminated UTF-8 text of the library's (netstandard2.0 has no PtrToStringUTF8).</summary>
        private static string FromStatic(IntPtr text)
        {
            if (text == IntPtr.Zero)
                return string.Empty;
            int length = 0;
            while (length < MaxLength && Marshal.ReadByte(text, length) != 0)
                ++length;
            byte[] bytes = new byte[length];
            Marshal.Copy(text, bytes, 0, length);
            return Encoding.UTF8.GetString(bytes);
        }
    }
}
