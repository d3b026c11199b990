using System;
using System.Runtime.InteropServices;

namespace Svcproc
{
    /// <summary>
    /// The C interface (svcproc_c.h), one declaration per exported function.
    /// Every import is cdecl: .NET's default on 32-bit Windows is stdcall,
    /// which would unbalance the stack. size_t is UIntPtr (32 or 64 bits
    /// with the process); texts come as UTF-8 bytes into arrays of ours.
    /// </summary>
    internal static class NativeMethods
    {
        /// <summary>svcproc.dll on Windows, libsvcproc.so on Linux (Mono adds the prefix and suffix).</summary>
        internal const string Library = "svcproc";

        internal const int Success = 0;
        internal const int BufferTooSmall = 8;

        /// <summary>What SMBIOS does not give arrives as this.</summary>
        internal const int ValueUnknown = unchecked((int)0x80000000);

        [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
        internal delegate void SensorStateCallback(IntPtr context, uint handle, uint state, uint reading);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        internal static extern uint SvcpGetApiVersion();

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        internal static extern int SvcpInitialiseServiceDriver();

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        internal static extern int SvcpEnumerateSensorHandles([Out] uint[] handles, UIntPtr capacity,
                                                              out UIntPtr count);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        internal static extern int SvcpEnumerateLedHandles([Out] uint[] handles, UIntPtr capacity,
                                                           out UIntPtr count);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        internal static extern int SvcpGetSensorInformation(uint handle, out SensorInformationRecord information,
                                                            [Out] byte[] description, UIntPtr descriptionSize,
                                                            out UIntPtr descriptionLength);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        internal static extern int SvcpGetSensorPossibleState(uint handle, uint state, [Out] byte[] text,
                                                              UIntPtr textSize, out UIntPtr textLength);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        internal static extern int SvcpGetLedInformation(uint handle, out LedInformationRecord information,
                                                         [Out] byte[] description, UIntPtr descriptionSize,
                                                         out UIntPtr descriptionLength);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        internal static extern int SvcpReadSensor(uint handle, out SensorReadingRecord reading);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        internal static extern int SvcpReadLed(uint handle, out LedReadingRecord reading);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        internal static extern int SvcpRegisterSensorStateListener(SensorStateCallback callback, IntPtr context);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        internal static extern int SvcpUnregisterSensorStateListener(SensorStateCallback callback, IntPtr context);

        // Static texts of the library's: IntPtr, so that the marshaller does
        // not free them as it would a returned string.
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        internal static extern IntPtr SvcpResultName(int result);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        internal static extern IntPtr SvcpResultMeaning(int result);
    }

    // The C records: every field 32 bits, in the header's order, so no
    // padding on any platform (a test compares them with the C compiler's
    // sizes and offsets).

    [StructLayout(LayoutKind.Sequential)]
    internal struct SensorInformationRecord
    {
        internal int Accuracy;
        internal uint BaseUnits;
        internal uint Hysteresis;
        internal uint IsLinear;
        internal int LowerThresholdCritical;
        internal int LowerThresholdFatal;
        internal int LowerThresholdNonCritical;
        internal int MaxReadable;
        internal int MinReadable;
        internal int NominalReading;
        internal uint RateUnits;
        internal uint Resolution;
        internal uint SensorType;
        internal int UnitModifier;
        internal int UpperThresholdCritical;
        internal int UpperThresholdFatal;
        internal int UpperThresholdNonCritical;
        internal uint PossibleStateCount;
    }

    [StructLayout(LayoutKind.Sequential)]
    internal struct LedInformationRecord
    {
        internal uint Kind;
        internal uint BitMap;
    }

    [StructLayout(LayoutKind.Sequential)]
    internal struct SensorReadingRecord
    {
        internal uint CurrentReading;
        internal uint CurrentState;
    }

    [StructLayout(LayoutKind.Sequential)]
    internal struct LedReadingRecord
    {
        internal uint State;
    }
}
