using System.Runtime.CompilerServices;

// The tests compare the record declarations with the C compiler's layout.
[assembly: InternalsVisibleTo("SvcprocTests")]
