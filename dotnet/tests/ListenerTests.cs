using System;
using System.Collections.Generic;
using System.Runtime.CompilerServices;
using System.Threading;

namespace Svcproc.Tests
{
    /// <summary>
    /// Alerts as events against the alerting machine (its fan goes critical
    /// and back every second): who hears them, on which thread, and what
    /// removal, disposal, collection and the end of the process do to them.
    /// </summary>
    internal static class ListenerTests
    {
        private static readonly TimeSpan Wait = TimeSpan.FromSeconds(20);

        internal static void AddTo(Action<string, Machine, Action> add)
        {
            add("alert_heard_on_the_polling_thread", Machine.Alerting, AlertHeardOnThePollingThread);
            add("removal_and_dispose_end_the_events", Machine.Alerting, RemovalAndDisposeEndTheEvents);
            add("a_throwing_handler_stops_no_other", Machine.Alerting, AThrowingHandlerStopsNoOther);
            add("collected_subscribers", Machine.Alerting, CollectedSubscribers);
            add("process_exits_during_a_handler", Machine.Alerting, ProcessExitsDuringAHandler);
            TestMain.ExpectOutput("process_exits_during_a_handler", "case ends",
                                  "passed: process_exits_during_a_handler", "handler returned");
        }

        /// <summary>Counts events and lets a test wait for the n-th.</summary>
        private sealed class Counter
        {
            private int m_count;

            internal int Count { get { return Volatile.Read(ref m_count); } }

            internal void Hear(object sender, SensorStateChangedEventArgs change)
            {
                lock (this)
                {
                    ++m_count;
                    Monitor.PulseAll(this);
                }
            }

            /// <summary>Waits until <paramref name="count"/> events have been heard; fails after the limit.</summary>
            internal void WaitFor(int count, string what)
            {
                DateTime deadline = DateTime.UtcNow + Wait;
                lock (this)
                {
                    while (m_count < count)
                    {
                        TimeSpan left = deadline - DateTime.UtcNow;
                        Check.That(left > TimeSpan.Zero, what + ": " + m_count + " of " + count + " alerts heard");
                        Monitor.Wait(this, left);
                    }
                }
            }
        }

        private static void AlertHeardOnThePollingThread()
        {
            using (var machine = new ServiceProcessor())
            {
                var changes = new List<SensorStateChangedEventArgs>();
                var threads = new List<int>();
                var counter = new Counter();
                object sender = null;
                machine.SensorStateChanged += (from, change) => {
                    lock (changes)
                    {
                        changes.Add(change);
                        threads.Add(Thread.CurrentThread.ManagedThreadId);
                        sender = from;
                    }
                    counter.Hear(from, change);
                };
                counter.WaitFor(3, "alerts");
                lock (changes)
                {
                    Check.That(ReferenceEquals(sender, machine), "the sender is the ServiceProcessor");
                    Check.That(changes.Exists(change => change.State == SensorState.Critical) &&
                                   changes.Exists(change => change.State == SensorState.Ok),
                               "heard the fan go critical and back");
                    foreach (SensorStateChangedEventArgs change in changes)
                    {
                        Check.Equal("Flapping Fan", change.Sensor.Description, "the alert's sensor");
                        Check.Equal(0x20000u, change.Sensor.Handle, "the alert's handle");
                        Check.Near(change.Raw, change.Value, "a fan's alert value is its raw RPM");
                    }
                    int main = Thread.CurrentThread.ManagedThreadId;
                    Check.That(threads.TrueForAll(thread => thread != main), "not raised on the caller's thread");
                    Check.That(threads.TrueForAll(thread => thread == threads[0]), "raised on one thread");
                }
            }
        }

        private static void RemovalAndDisposeEndTheEvents()
        {
            var witness = new Counter();
            var removed = new Counter();
            var disposed = new Counter();
            var watching = new ServiceProcessor();
            watching.SensorStateChanged += witness.Hear;
            var first = new ServiceProcessor();
            first.SensorStateChanged += removed.Hear;
            var second = new ServiceProcessor();
            second.SensorStateChanged += disposed.Hear;
            removed.WaitFor(1, "before removal");
            disposed.WaitFor(1, "before disposal");

            // Once these return no call to the handlers runs or will run.
            first.SensorStateChanged -= removed.Hear;
            second.Dispose();
            int removedAt = removed.Count;
            int disposedAt = disposed.Count;
            int witnessAt = witness.Count;
            witness.WaitFor(witnessAt + 3, "the witness after removal");
            Check.Equal(removedAt, removed.Count, "events after the last handler was removed");
            Check.Equal(disposedAt, disposed.Count, "events after Dispose");

            // A removed object can take handlers again; a disposed one cannot.
            first.SensorStateChanged += removed.Hear;
            removed.WaitFor(removedAt + 1, "after adding again");
            Check.Throws<ObjectDisposedException>(() => second.SensorStateChanged += disposed.Hear, "after Dispose");
            first.Dispose();
            watching.Dispose();
        }

        private static void AThrowingHandlerStopsNoOther()
        {
            using (var machine = new ServiceProcessor())
            {
                var counter = new Counter();
                int thrown = 0;
                machine.SensorStateChanged += (from, change) => {
                    Interlocked.Increment(ref thrown);
                    throw new InvalidOperationException("a handler's own fault");
                };
                machine.SensorStateChanged += counter.Hear;
                counter.WaitFor(3, "the handler after the throwing one");
                Check.That(Volatile.Read(ref thrown) >= 3, "the throwing handler is still called");
            }
        }

        /// <summary>A subscriber the test drops: all it leaves behind is what it counts.</summary>
        private sealed class Subscriber
        {
            internal static int s_heard;
            internal static readonly ManualResetEvent SelfRemoved = new ManualResetEvent(false);

            internal void Hear(object sender, SensorStateChangedEventArgs change)
            {
                Interlocked.Increment(ref s_heard);
            }

            internal void HearOnceThenLeave(object sender, SensorStateChangedEventArgs change)
            {
                ((ServiceProcessor)sender).SensorStateChanged -= HearOnceThenLeave;
                SelfRemoved.Set();
            }
        }

        /// <summary>A ServiceProcessor and a subscriber, neither referred to by anything of the test's.</summary>
        [MethodImpl(MethodImplOptions.NoInlining)]
        private static WeakReference Dropped(bool leave)
        {
            var subscriber = new Subscriber();
            var machine = new ServiceProcessor();
            if (leave)
                machine.SensorStateChanged += subscriber.HearOnceThenLeave;
            else
                machine.SensorStateChanged += subscriber.Hear;
            return new WeakReference(subscriber);
        }

        private static void Collect()
        {
            for (int i = 0; i < 3; ++i)
            {
                GC.Collect();
                GC.WaitForPendingFinalizers();
            }
        }

        private static void CollectedSubscribers()
        {
            // Still registered: the registration keeps both alive and the
            // events coming, whatever is collected.
            WeakReference registered = Dropped(false);
            // Left from inside its handler: nothing holds it any more.
            WeakReference left = Dropped(true);
            Check.That(Subscriber.SelfRemoved.WaitOne(Wait), "the leaving subscriber heard its alert");
            var witness = new Counter();
            using (var machine = new ServiceProcessor())
            {
                machine.SensorStateChanged += witness.Hear;
                for (int alerts = 1; alerts <= 4; ++alerts)
                {
                    Collect();
                    witness.WaitFor(alerts, "alerts while collecting");
                }
                Check.That(Volatile.Read(ref Subscriber.s_heard) >= 3, "the dropped subscriber still hears");
                Check.That(registered.IsAlive, "a registered subscriber is kept alive");
                Check.That(!left.IsAlive, "a subscriber that left is collected");
            }
            // The dropped registration is still there: the exit withdraws it.
        }

        private static void ProcessExitsDuringAHandler()
        {
            // The case ends while the handler is inside a call, which goes on
            // into the exit: the exit must wait for it, then let no managed
            // code run on the polling thread. A hang or a crash fails the
            // case, and the handler's line must come after the case's end.
            var machine = new ServiceProcessor();
            var entered = new ManualResetEvent(false);
            var ending = new ManualResetEvent(false);
            machine.SensorStateChanged += (from, change) => {
                if (entered.WaitOne(0))
                    return;
                entered.Set();
                ending.WaitOne();
                Thread.Sleep(1000);
                Console.WriteLine("handler returned");
            };
            machine.SensorStateChanged += delegate { };
            Check.That(entered.WaitOne(Wait), "an alert");
            Console.WriteLine("case ends");
            ending.Set();
        }
    }
}
