// The status page as the build embeds it (EmbedStatusPage.cmake): no file is
// read at run time, on Linux or Windows.
#pragma once

#include <cstddef>

// The page's UTF-8 bytes, its telemetry links still to be filled in
// (StatusPage.h).
extern const unsigned char kStatusPageHtml[];
extern const size_t kStatusPageHtmlSize;
// A Content-Security-Policy that lets the page's own style and script run,
// by their digests, and nothing else: no other source, no inline handler,
// requests only to this server.
extern const char kStatusPagePolicy[];
