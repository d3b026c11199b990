using System;

namespace Svcproc
{
    /// <summary>
    /// A result other than success from the library: the code, its name
    /// ("InvalidHandle") and its one-line meaning, as the library words them.
    /// Each failure has a type of its own below; this type itself is thrown
    /// for codes that have none (never expected from this binding).
    /// </summary>
    public class ServiceProcessorException : Exception
    {
        /// <summary>Makes the exception for a code with the library's words for it.</summary>
        public ServiceProcessorException(int code, string name, string meaning)
            : base(name + " (" + code + "): " + meaning)
        {
            Code = code;
            CodeName = name;
            Meaning = meaning;
        }

        /// <summary>The result code (see <see cref="ResultCode"/>); a number outside it is kept as it came.</summary>
        public int Code { get; private set; }

        /// <summary>The code's name, e.g. "InvalidHandle".</summary>
        public string CodeName { get; private set; }

        /// <summary>What the code means, in one line.</summary>
        public string Meaning { get; private set; }

        /// <summary>The exception of the type for <paramref name="code"/>, with the library's words.</summary>
        internal static ServiceProcessorException For(int code)
        {
            string name = Texts.ResultName(code);
            string meaning = Texts.ResultMeaning(code);
            switch ((ResultCode)code)
            {
                case ResultCode.NotInitialised: return new NotInitialisedException(code, name, meaning);
                case ResultCode.SmbiosUnreadable: return new SmbiosUnreadableException(code, name, meaning);
                case ResultCode.SmbiosInventoryFailed: return new SmbiosInventoryException(code, name, meaning);
                case ResultCode.PosSystemUnavailable: return new PosSystemUnavailableException(code, name, meaning);
                case ResultCode.NoServiceProcessor: return new NoServiceProcessorException(code, name, meaning);
                case ResultCode.DriverUnavailable: return new DriverUnavailableException(code, name, meaning);
                case ResultCode.InvalidHandle: return new InvalidHandleException(code, name, meaning);
                case ResultCode.OutOfMemory: return new ServiceOutOfMemoryException(code, name, meaning);
                default: return new ServiceProcessorException(code, name, meaning);
            }
        }

        /// <summary>Throws the exception for <paramref name="code"/> unless it is success.</summary>
        internal static void Check(int code)
        {
            if (code != NativeMethods.Success)
                throw For(code);
        }
    }

    /// <summary>A call before the library was started up (code 1).</summary>
    public class NotInitialisedException : ServiceProcessorException
    {
        internal NotInitialisedException(int code, string name, string meaning) : base(code, name, meaning) { }
    }

    /// <summary>Start-up failed (codes 2 to 6); it may be tried again.</summary>
    public abstract class StartupException : ServiceProcessorException
    {
        internal StartupException(int code, string name, string meaning) : base(code, name, meaning) { }
    }

    /// <summary>The SMBIOS table could not be read (code 2).</summary>
    public class SmbiosUnreadableException : StartupException
    {
        internal SmbiosUnreadableException(int code, string name, string meaning) : base(code, name, meaning) { }
    }

    /// <summary>The SMBIOS inventory or the BIOS family is unusable (code 3).</summary>
    public class SmbiosInventoryException : StartupException
    {
        internal SmbiosInventoryException(int code, string name, string meaning) : base(code, name, meaning) { }
    }

    /// <summary>The BIOS version could not be recorded (code 4).</summary>
    public class PosSystemUnavailableException : StartupException
    {
        internal PosSystemUnavailableException(int code, string name, string meaning) : base(code, name, meaning) { }
    }

    /// <summary>SMBIOS names no service processor (code 5).</summary>
    public class NoServiceProcessorException : StartupException
    {
        internal NoServiceProcessorException(int code, string name, string meaning) : base(code, name, meaning) { }
    }

    /// <summary>The service processor's driver is missing or does not answer (code 6).</summary>
    public class DriverUnavailableException : StartupException
    {
        internal DriverUnavailableException(int code, string name, string meaning) : base(code, name, meaning) { }
    }

    /// <summary>The handle names no sensor or LED of that kind (code 7).</summary>
    public class InvalidHandleException : ServiceProcessorException
    {
        internal InvalidHandleException(int code, string name, string meaning) : base(code, name, meaning) { }
    }

    /// <summary>The library ran out of memory during the call; nothing changed (code 10).</summary>
    public class ServiceOutOfMemoryException : ServiceProcessorException
    {
        internal ServiceOutOfMemoryException(int code, string name, string meaning) : base(code, name, meaning) { }
    }
}
