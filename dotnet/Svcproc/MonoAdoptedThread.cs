using System;
using System.Reflection;
using System.Threading;

namespace Svcproc
{
    /// <summary>
    /// Mono before 6.12 (Debian 12 has 6.8) waits at exit for every native
    /// thread that has ever called managed code, until that thread ends
    /// (mono/mono#20466); the library's polling thread ends only when the
    /// library is unloaded, after the runtime has exited, so a process that
    /// ever heard an alert would never end. Marking the thread as one the
    /// runtime does not manage (its internal flag, which the runtime sets
    /// for its own service threads) keeps the exit from waiting for it.
    /// Nothing happens on other runtimes or where the field is not found.
    /// </summary>
    internal static class MonoAdoptedThread
    {
        private const long DontManage = 1; // MONO_THREAD_FLAG_DONT_MANAGE

        private static readonly FieldInfo s_internalThread;
        private static readonly FieldInfo s_flags;

        [ThreadStatic]
        private static bool t_bReleased;

        static MonoAdoptedThread()
        {
            if (Type.GetType("Mono.Runtime") == null)
                return;
            const BindingFlags instance = BindingFlags.Instance | BindingFlags.NonPublic;
            FieldInfo internalThread = typeof(Thread).GetField("internal_thread", instance);
            FieldInfo flags = internalThread == null ? null : internalThread.FieldType.GetField("flags", instance);
            if (flags != null && flags.FieldType == typeof(IntPtr))
            {
                s_internalThread = internalThread;
                s_flags = flags;
            }
        }

        /// <summary>On a thread the runtime adopted for a call from native code: the exit does not wait for it.</summary>
        internal static void Release()
        {
            if (t_bReleased || s_flags == null)
                return;
            t_bReleased = true;
            object thread = s_internalThread.GetValue(Thread.CurrentThread);
            if (thread == null)
                return;
            long flags = ((IntPtr)s_flags.GetValue(thread)).ToInt64();
            s_flags.SetValue(thread, new IntPtr(flags | DontManage));
        }
    }
}
