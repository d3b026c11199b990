// CHttpConnection over a Beast stream: a tcp_stream for plain HTTP, an
// ssl_stream over one for TLS. Every deadline is the TCP layer's, so a TLS
// handshake is bounded like a request head. Included by the files that
// instantiate it.
#pragma once

#include <optional>
#include <string>
#include <utility>

#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/stream_traits.hpp>
#include <boost/beast/http/read.hpp>

#include "exporter/HttpConnection.h"
#include "exporter/RequestParser.h"

template <class Stream>
class CStreamConnection : public CHttpConnection {
public:
    template <class... StreamArgs>
    CStreamConnection(const HttpLimits& limits, const HttpFields& fields, Answerer answerer,
                      StreamArgs&&... streamArgs)
        : m_Stream(std::forward<StreamArgs>(streamArgs)...),
          m_Limits(limits),
          m_Fields(fields),
          m_Answerer(std::move(answerer)),
          m_Buffer(limits.headerBytes),
          m_WaitingSince(std::chrono::steady_clock::now()) {}

    void Start() override {
        boost::system::error_code ignored;
        // The answer leaves in one write; nothing is gained by holding it back.
        Tcp().socket().set_option(boost::asio::ip::tcp::no_delay(true), ignored);
        Tcp().expires_after(m_Limits.readTimeout);
        Open();
    }

    void Deliver(const HttpAnswer& answer) override {
        if (m_bOpen) {
            Write(answer, m_bHead, m_bCloseAfter || answer.close);
        }
    }

    Standing Stand() const override {
        if (!m_bOpen || !m_bWaiting) {
            return Standing::Answering;
        }
        if (m_bClosing) {
            return Standing::Silent;
        }
        // Bytes read, or arrived and not yet read (a scrape that came in the
        // same burst as the connections it would otherwise make room for).
        boost::system::error_code ignored;
        const size_t pending = Tcp().socket().available(ignored);
        return m_Buffer.size() > 0 || pending > 0 ? Standing::Arriving : Standing::Silent;
    }

    std::chrono::steady_clock::time_point WaitingSince() const override { return m_WaitingSince; }

    void Drop() override {
        if (!m_bOpen) {
            return;
        }
        m_bOpen = false;
        Tcp().close();
    }

protected:
    // What comes before the first request: nothing for plain HTTP, the
    // handshake for TLS (within the read deadline Start() has set), after
    // which it calls ReadHead().
    virtual void Open() { ReadHead(); }

    boost::beast::tcp_stream& Tcp() { return boost::beast::get_lowest_layer(m_Stream); }
    const boost::beast::tcp_stream& Tcp() const {
        return const_cast<CStreamConnection*>(this)->Tcp();
    }
    std::shared_ptr<CStreamConnection> Self() {
        return std::static_pointer_cast<CStreamConnection>(shared_from_this());
    }
    bool IsOpen() const { return m_bOpen; }

    void ReadHead() {
        m_bWaiting = true;
        m_Parser.emplace(m_Limits);
        Tcp().expires_after(m_Limits.readTimeout);
        boost::beast::http::async_read_header(
            m_Stream, m_Buffer, *m_Parser,
            [self = Self()](const boost::system::error_code& error, size_t) {
                self->OnHead(error);
            });
    }

    Stream m_Stream;

private:
    // After a refusal the client may still be sending: what it sends is read
    // and dropped for a moment, so that closing does not reset the
    // connection before the refusal has been read.
    static constexpr std::chrono::seconds kLinger{1};
    static constexpr size_t kLingerBytes = 256 * 1024;

    void AwaitRequest() {
        m_bWaiting = true;
        m_WaitingSince = std::chrono::steady_clock::now();
        if (m_Buffer.size() > 0) {
            ReadHead();  // pipelined: the next head has begun to arrive
            return;
        }
        // Idle until the first byte of the next request, then its deadline.
        Tcp().expires_after(m_Limits.keepAlive);
        m_Stream.async_read_some(
            m_Buffer.prepare(m_Buffer.max_size()),
            [self = Self()](const boost::system::error_code& error, size_t size) {
                if (error || !self->m_bOpen) {
                    self->Drop();
                    return;
                }
                self->m_Buffer.commit(size);
                self->ReadHead();
            });
    }

    void OnHead(const boost::system::error_code& error) {
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
        Tcp().expires_never();
        m_Answerer(shared_from_this(), request);
    }

    void Write(HttpAnswer answer, bool bodiless, bool close) {
        m_bWaiting = false;
        m_bCloseAfter = close;
        answer.fields.insert(answer.fields.end(), m_Fields.begin(), m_Fields.end());
        m_Outgoing = SerialiseAnswer(answer, bodiless, close, m_nVersion);
        Tcp().expires_after(m_Limits.writeTimeout);
        boost::asio::async_write(m_Stream, boost::asio::buffer(m_Outgoing),
                                 [self = Self()](const boost::system::error_code& error, size_t) {
                                     self->OnWritten(error);
                                 });
    }

    void OnWritten(const boost::system::error_code& error) {
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

    void CloseGently() {
        boost::system::error_code ignored;
        Tcp().socket().shutdown(boost::asio::ip::tcp::socket::shutdown_send, ignored);
        m_bWaiting = true;
        m_bClosing = true;
        m_WaitingSince = std::chrono::steady_clock::now();
        Tcp().expires_after(kLinger);
        Discard(0);
    }

    void Discard(size_t total) {
        m_Buffer.consume(m_Buffer.size());
        m_Stream.async_read_some(
            m_Buffer.prepare(m_Buffer.max_size()),
            [self = Self(), total](const boost::system::error_code& error, size_t size) {
                if (error || !self->m_bOpen || total + size > kLingerBytes) {
                    self->Drop();
                    return;
                }
                self->Discard(total + size);
            });
    }

    HttpLimits m_Limits;
    HttpFields m_Fields;
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
