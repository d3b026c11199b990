// A small HTTP/1.1 server with bounds (HttpLimits): one I/O thread accepts
// and reads every connection without blocking, so idle, slow or hostile
// clients cost it memory within the bounds and no thread; a pool of
// `threads` workers computes the answers, so a slow answer never holds up
// reading the others.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "exporter/HttpLimits.h"
#include "exporter/HttpMessage.h"

class CHttpService {
public:
    // The answer to one request, computed on a worker thread, several at
    // once; it must not throw (an exception is answered with 500).
    using Handler = std::function<HttpAnswer(const HttpRequest&)>;

    CHttpService(Handler handler, const HttpLimits& limits);
    ~CHttpService();  // Stop()
    CHttpService(const CHttpService&) = delete;
    CHttpService& operator=(const CHttpService&) = delete;

    // Binds `host` (a name or an address) and `port` (0: any free one) and
    // serves on threads of its own. False with a one-line reason when the
    // address cannot be bound. Once only.
    bool Start(const std::string& host, int port, std::string& error);

    // The bound port; 0 before Start.
    int Port() const;

    // Stops accepting, closes every connection, waits for the answers being
    // computed and returns. Idempotent.
    void Stop();

private:
    struct Engine;
    std::unique_ptr<Engine> m_pEngine;
};
