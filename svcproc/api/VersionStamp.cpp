// The version stamp carried in the library's data. Nothing reads it; it is
// there for `strings` and for people looking at a crash dump.
extern const char g_szVersionStamp[];
const char g_szVersionStamp[] =
    "~~~Quillon SP Version 2.1.000 / Built at " __TIME__ " on " __DATE__ "~~~";
