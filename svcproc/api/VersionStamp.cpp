// The version stamp carried in the library's data. Nothing reads it; it is
// there for `strings` and for people looking at a crash dump. Nothing
// references it either, so it is marked used: link-time optimisation would
// otherwise drop it.
#include "svcp_build_time.h"
#include "svcp_version.h"

extern const char g_szVersionStamp[];
[[gnu::used]] const char g_szVersionStamp[] =
    "~~~Quillon SP Version " SVCP_STAMP_VERSION " / Built at " SVCP_BUILD_TIME
    " on " SVCP_BUILD_DATE "~~~";
