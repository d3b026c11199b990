// One client's connection as the server sees it: reads request heads within
// the deadlines and bounds of HttpLimits, has each answered, writes the
// answers in order, and closes on a refusal, on a request body or when the
// client asks. Plain TCP here; TLS is another stream under the same code
// (exporter/StreamConnection.h).
//
// Runs on the server's one I/O thread: every member function is called
// there. The answer itself is computed elsewhere (CHttpConnection::Answerer),
// and handed back through Deliver().
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <boost/asio/ip/tcp.hpp>

#include "exporter/HttpLimits.h"
#include "exporter/HttpMessage.h"

// Fields added to every answer, refusals included.
using HttpFields = std::vector<std::pair<std::string, std::string>>;

class CHttpConnection : public std::enable_shared_from_this<CHttpConnection> {
public:
    // Computes the answer to `request` away from the I/O thread and calls
    // the connection's Deliver() on the I/O thread with it.
    using Answerer =
        std::function<void(std::shared_ptr<CHttpConnection>, const HttpRequest& request)>;

    virtual ~CHttpConnection() = default;

    virtual void Start() = 0;

    // The answer to the request being served.
    virtual void Deliver(const HttpAnswer& answer) = 0;

    // What dropping the connection to make room for another would cost. One
    // being answered (or written) is never dropped; one that has sent
    // nothing of its next request (idle, closing, or not through its
    // handshake) goes before one whose request has begun to arrive.
    enum class Standing { Answering, Silent, Arriving };
    virtual Standing Stand() const = 0;
    // Since when it has waited for its request.
    virtual std::chrono::steady_clock::time_point WaitingSince() const = 0;

    // Closes at once; pending reads and writes end, and an answer still to
    // come is discarded.
    virtual void Drop() = 0;
};

// Makes the connection of an accepted socket, on the I/O thread.
using ConnectionMaker = std::function<std::shared_ptr<CHttpConnection>(
    boost::asio::ip::tcp::socket socket, const HttpLimits& limits, const HttpFields& fields,
    CHttpConnection::Answerer answerer)>;

// Plain HTTP.
std::shared_ptr<CHttpConnection> MakePlainConnection(boost::asio::ip::tcp::socket socket,
                                                     const HttpLimits& limits,
                                                     const HttpFields& fields,
                                                     CHttpConnection::Answerer answerer);
