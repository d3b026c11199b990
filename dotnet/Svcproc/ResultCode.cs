namespace Svcproc
{
    /// <summary>The result codes of the C interface (SVCP_RESULT).</summary>
    public enum ResultCode
    {
        /// <summary>The call succeeded.</summary>
        Success = 0,
        /// <summary>The library has not been started up.</summary>
        NotInitialised = 1,
        /// <summary>Start-up could not read the SMBIOS table.</summary>
        SmbiosUnreadable = 2,
        /// <summary>Start-up found the SMBIOS inventory or the BIOS family unusable.</summary>
        SmbiosInventoryFailed = 3,
        /// <summary>Start-up could not record the BIOS version.</summary>
        PosSystemUnavailable = 4,
        /// <summary>SMBIOS names no service processor.</summary>
        NoServiceProcessor = 5,
        /// <summary>The service processor's driver cannot be opened or does not answer.</summary>
        DriverUnavailable = 6,
        /// <summary>The handle names no sensor or LED of that kind.</summary>
        InvalidHandle = 7,
        /// <summary>A buffer was too small (handled inside this binding).</summary>
        BufferTooSmall = 8,
        /// <summary>A required argument was missing or out of range.</summary>
        InvalidArgument = 9,
        /// <summary>The library ran out of memory; nothing changed and the call may be retried.</summary>
        OutOfMemory = 10,
    }
}
