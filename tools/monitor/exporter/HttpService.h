// A small HTTP/1.1 server with bounds (HttpLimits): one I/O thread accepts
// and reads every connection without blocking, so idle, slow or hostile
// clients cost it memory within the bounds and no thread; a pool of
// `threads` workers computes the answers, so a slow answer never holds up
// reading the others.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "exporter/HttpConnection.h"
#include "exporter/HttpLimits.h"
#include "exporter/HttpMessage.h"

// A name or an address, and a port (0: any free one).
struct HttpEndpoint {
    std::string host;
    int port = 0;
};

// How the connections are made (unset: plain HTTP), and the fields every
// answer carries.
struct HttpConnections {
    ConnectionMaker make;
    HttpFields fields;
};

class CHttpService {
public:
    // The answer to one request, computed on a worker thread, several at
    // once; it must not throw (an exception is answered with 500).
    using Handler = std::function<HttpAnswer(const HttpRequest&)>;

    CHttpService(Handler handler, const HttpLimits& limits, HttpConnections connections = {});
    ~CHttpService();  // Stop()
    CHttpService(const CHttpService&) = delete;
    CHttpService& operator=(const CHttpService&) = delete;

    // Binds every endpoint and serves them all on threads of its own, with
    // one set of limits. False with a one-line reason when one of them cannot
    // be bound (none is served then). Once only.
    bool Start(const std::vector<HttpEndpoint>& endpoints, std::string& error);

    // The bound port of the index-th endpoint; 0 before Start.
    int Port(size_t index = 0) const;

    // Stops accepting, closes every connection, waits for the answers being
    // computed and returns. Idempotent.
    void Stop();

private:
    struct Engine;
    std::unique_ptr<Engine> m_pEngine;
};
