using System;

namespace Svcproc
{
    /// <summary>One LED as described at start-up.</summary>
    public sealed class Led
    {
        private readonly ServiceProcessor m_processor;

        internal Led(ServiceProcessor processor, uint handle, LedInformationRecord record, string description)
        {
            m_processor = processor;
            Handle = handle;
            Description = description;
            BitMap = record.BitMap;
            Kind = record.Kind;
        }

        /// <summary>The handle: 4 in bits 16-31, the LED's bit in bits 0-15.</summary>
        public uint Handle { get; private set; }
        /// <summary>The LED's description from SMBIOS.</summary>
        public string Description { get; private set; }
        /// <summary>The LED's bit in the LED state word.</summary>
        public uint BitMap { get; private set; }
        /// <summary>The record's kind (always 5).</summary>
        public uint Kind { get; private set; }

        /// <summary>True when the LED is on; refreshed like <see cref="Sensor.Read"/>.</summary>
        /// <exception cref="ObjectDisposedException">The service processor object has been disposed.</exception>
        public bool Read()
        {
            m_processor.ThrowIfDisposed();
            LedReadingRecord record;
            ServiceProcessorException.Check(NativeMethods.SvcpReadLed(Handle, out record));
            return record.State == 1;
        }

        /// <summary>The handle and description.</summary>
        public override string ToString() { return string.Format("Led(0x{0:x5}, {1})", Handle, Description); }
    }
}
