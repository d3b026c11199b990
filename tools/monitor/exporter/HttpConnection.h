// One client's connection: reads request heads within the deadlines and
// bounds of HttpLimits, has each answered, writes the answers in order, and
// closes on a refusal, on a request body or when the client asks.
//
// Runs on the server's one I/O thread: every member function but the
// constructor is called there. The answer itself is computed elsewhere
// (CHttpConnection::Answerer), and handed back through Deliver().
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>

#include "exporter/HttpLimits.h"
#include "exporter/HttpMessage.h"
#include "exporter/RequestParser.h"

class CHttpConnection : public std::enable_shared_from_this<CHttpConnection> {
public:
    // Computes the answer to `request` away from the I/O thread and calls
    // the connection's Deliver() on the I/O thread with it.
    using Answerer =
        std::function<void(std::shared_ptr<CHttpConnection>, const HttpRequest& request)>;

    CHttpConnection(boost::asio::ip::tcp::socket socket, const HttpLimits& limits,
                    Answerer answerer);

    void Start();

    // The answer to the request being served.
    void Deliver(const HttpAnswer& answer);

    // What dropping the connection to make room for another would cost. One
    // being answered (or written) is never dropped; one that has sent
    // nothing of its next request (idle, or closing) goes before one whose
    // request has begun to arrive.
    enum class Standing { Answering, Silent, Arriving };
    Standing Stand() const;
    // Since when it has waited for its request.
    std::chrono::steady_clock::time_point WaitingSince() const { return m_WaitingSince; }

    // Closes at once; pending reads and writes end, and an answer still to
    // come is discarded.
    void Drop();

private:
    void AwaitRequest();
    void ReadHead();
    void OnHead(const boost::system::error_code& error);
    void Write(const HttpAnswer& answer, bool bodiless, bool close);
    void OnWritten(const boost::system::error_code& error);
    void CloseGently();
    void Discard(size_t total);

    boost::beast::tcp_stream m_Stream;
    HttpLimits m_Limits;
    Answerer m_Answerer;
    boost::beast::flat_buffer m_Buffer;
    std::optional<CRequestParser> m_Parser;
    std::string m_Outgoing;
    bool m_bOpen = true;
    bool m_bWaiting = true;
    bool m_bClosing = false;
    bool m_bHead = false;
    bool m_bCloseAfter = false;
    int m_nVersion = 11;
    std::chrono::steady_clock::time_point m_WaitingSince;
};
