#include "exporter/HttpConnection.h"

#include <boost/asio/write.hpp>
#include <boost/beast/http/read.hpp>

namespace asio = boost::asio;
namespace http = boost::beast::http;
using boost::system::error_code;

namespace {

// After a refusal the client may still be sending: what it sends is read
// and dropped for a moment, so that closing does not reset the connection
// before the refusal has been read.
constexpr std::chrono::seconds kLinger{1};
constexpr size_t kLingerBytes = 256 * 1024;

}  // namespace

CHttpConnection::CHttpConnection(asio::ip::tcp::socket socket, const HttpLimits& limits,
                                 Answerer answerer)
    : m_Stream(std::move(socket)),
      m_Limits(limits),
      m_Answerer(std::move(answerer)),
      m_Buffer(limits.headerBytes),
      m_WaitingSince(std::chrono::steady_clock::now()) {}

void CHttpConnection::Start() {
    error_code ignored;
    // The answer leaves in one write; nothing is gained by holding it back.
    m_Stream.socket().set_option(asio::ip::tcp::no_delay(true), ignored);
    ReadHead();
}

CHttpConnection::Standing CHttpConnection::Stand() const {
    if (!m_bOpen || !m_bWaiting) {
        return Standing::Answering;
    }
    if (m_bClosing) {
        return Standing::Silent;
    }
    // Bytes read, or arrived and not yet read (a scrape that came in the
    // same burst as the connections it would otherwise make room for).
    boost::system::error_code ignored;
    const size_t pending = m_Stream.socket().available(ignored);
    return m_Buffer.size() > 0 || pending > 0 ? Standing::Arriving : Standing::Silent;
}

void CHttpConnection::AwaitRequest() {
    m_bWaiting = true;
    m_WaitingSince = std::chrono::steady_clock::now();
    if (m_Buffer.size() > 0) {
        ReadHead();  // pipelined: the next head has begun to arrive
        return;
    }
    // Idle until the first byte of the next request, then its deadline.
    m_Stream.expires_after(m_Limits.keepAlive);
    m_Stream.async_read_some(m_Buffer.prepare(m_Buffer.max_size()),
                             [self = shared_from_this()](const error_code& error, size_t size) {
                                 if (error || !self->m_bOpen) {
                                     self->Drop();
                                     return;
                                 }
                                 self->m_Buffer.commit(size);
                                 self->ReadHead();
                             });
}

void CHttpConnection::ReadHead() {
    m_bWaiting = true;
    m_Parser.emplace(m_Limits);
    m_Stream.expires_after(m_Limits.readTimeout);
    http::async_read_header(
        m_Stream, m_Buffer, *m_Parser,
        [self = shared_from_this()](const error_code& error, size_t) { self->OnHead(error); });
}

void CHttpConnection::OnHead(const error_code& error) {
    if (!m_bOpen) {
        return;
    }
    m_bWaiting = false;
    if (error) {
        const int status = m_Parser->RefusalFor(error, m_Buffer);
        if (status == 0) {
            Drop();
        } else {
            Write(StatusAnswer(status), false, true);
        }
        return;
    }
    const HttpRequest& request = m_Parser->Request();
    m_nVersion = request.version;
    m_bHead = request.method == "HEAD";
    m_bCloseAfter = !m_Parser->keep_alive();
    if (m_Parser->AnnouncesBody()) {
        // A body is never read, so the connection cannot go on after it.
        m_bCloseAfter = true;
        if (m_bHead || request.method == "GET") {
            Write(StatusAnswer(413), m_bHead, true);
            return;
        }
    }
    // While it is answered the client has nothing to wait for.
    m_Stream.expires_never();
    m_Answerer(shared_from_this(), request);
}

void CHttpConnection::Deliver(const HttpAnswer& answer) {
    if (m_bOpen) {
        Write(answer, m_bHead, m_bCloseAfter || answer.close);
    }
}

void CHttpConnection::Write(const HttpAnswer& answer, bool bodiless, bool close) {
    m_bWaiting = false;
    m_bCloseAfter = close;
    m_Outgoing = SerialiseAnswer(answer, bodiless, close, m_nVersion);
    m_Stream.expires_after(m_Limits.writeTimeout);
    asio::async_write(
        m_Stream, asio::buffer(m_Outgoing),
        [self = shared_from_this()](const error_code& error, size_t) { self->OnWritten(error); });
}

void CHttpConnection::OnWritten(const error_code& error) {
    if (!m_bOpen) {
        return;
    }
    m_Outgoing.clear();
    if (error) {
        Drop();
    } else if (m_bCloseAfter) {
        CloseGently();
    } else {
        AwaitRequest();
    }
}

void CHttpConnection::CloseGently() {
    error_code ignored;
    m_Stream.socket().shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
    m_bWaiting = true;
    m_bClosing = true;
    m_WaitingSince = std::chrono::steady_clock::now();
    m_Stream.expires_after(kLinger);
    Discard(0);
}

void CHttpConnection::Discard(size_t total) {
    m_Buffer.consume(m_Buffer.size());
    m_Stream.async_read_some(
        m_Buffer.prepare(m_Buffer.max_size()),
        [self = shared_from_this(), total](const error_code& error, size_t size) {
            if (error || !self->m_bOpen || total + size > kLingerBytes) {
                self->Drop();
                return;
            }
            self->Discard(total + size);
        });
}

void CHttpConnection::Drop() {
    if (!m_bOpen) {
        return;
    }
    m_bOpen = false;
    m_Stream.close();
}
