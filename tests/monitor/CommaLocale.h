// A locale that writes 3,3 for 3.3, for the tests that numbers the monitor
// reads and writes do not depend on the locale.
#pragma once

inline const char* const kCommaLocale = "de_DE.UTF-8";

// True when kCommaLocale can be set; on a machine without it, compiles it
// into the test's temporary directory (localedef needs no privileges for
// that) and points glibc at it with LOCPATH. Leaves the C locale set to it
// when true.
bool MakeCommaLocaleAvailable();
