// The bounds of the exporter's HTTP server: what one client may cost it in
// time, memory and threads before it is refused or dropped.
#pragma once

#include <chrono>
#include <cstddef>

struct HttpLimits {
    // Answers computed at once (the scrape source runs on these threads);
    // further requests wait for one, at most one per connection.
    size_t threads = 4;
    // Requests being answered or waiting for a thread, at once; one beyond is
    // answered 503 at once rather than queued. 0: bounded by `connections`.
    size_t answering = 0;
    // Connections open at once. A new one beyond this takes the place of the
    // connection that has waited longest for a request; when every one is
    // being answered, the new one is refused with 503 at once.
    size_t connections = 64;
    // Bytes of the request line (414 beyond), of the whole head (431), and
    // the number of header fields (431). The connection is closed after.
    size_t requestLine = 2048;
    size_t headerBytes = 8192;
    size_t headers = 64;
    // The whole request head must arrive within this from its first byte
    // (or from the connection's opening): a client dripping bytes is dropped
    // at this deadline however steadily it sends.
    std::chrono::milliseconds readTimeout{3000};
    // Writing one response, however slowly the client reads.
    std::chrono::milliseconds writeTimeout{3000};
    // How long a kept-alive connection may wait for its next request.
    std::chrono::milliseconds keepAlive{2000};
};
