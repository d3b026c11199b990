// Reads one request head within the bounds of HttpLimits, with Beast's
// HTTP/1.1 parser (it rejects malformed lines, conflicting lengths and
// encodings). The fields are kept, never a body. One parser per request.
#pragma once

#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/basic_parser.hpp>

#include "exporter/HttpLimits.h"
#include "exporter/HttpMessage.h"

class CRequestParser : public boost::beast::http::basic_parser<true> {
public:
    explicit CRequestParser(const HttpLimits& limits);

    // The head read so far; complete once the read succeeded.
    const HttpRequest& Request() const { return m_Request; }

    // A body follows the head (a length above zero, or chunks).
    bool AnnouncesBody() const { return !is_done(); }

    // The status that refuses a head whose read ended in `error`, or 0 when
    // there is nobody to answer (the client closed, went silent, or reset).
    // `buffered` holds what had arrived of it.
    int RefusalFor(const boost::system::error_code& error,
                   const boost::beast::flat_buffer& buffered) const;

private:
    void on_request_impl(boost::beast::http::verb method, boost::beast::string_view methodText,
                         boost::beast::string_view target, int version,
                         boost::system::error_code& error) override;
    void on_response_impl(int, boost::beast::string_view, int,
                          boost::system::error_code&) override {}
    void on_field_impl(boost::beast::http::field, boost::beast::string_view name,
                       boost::beast::string_view value, boost::system::error_code& error) override;
    void on_header_impl(boost::system::error_code&) override {}
    void on_body_init_impl(const boost::optional<std::uint64_t>&,
                           boost::system::error_code&) override {}
    std::size_t on_body_impl(boost::beast::string_view, boost::system::error_code& error) override;
    void on_chunk_header_impl(std::uint64_t, boost::beast::string_view,
                              boost::system::error_code& error) override;
    std::size_t on_chunk_body_impl(std::uint64_t, boost::beast::string_view,
                                   boost::system::error_code& error) override;
    void on_finish_impl(boost::system::error_code&) override {}

    enum class Refused { None, Line, Fields };

    size_t m_nMaxLine;
    size_t m_nMaxFields;
    HttpRequest m_Request;
    bool m_bLineSeen = false;
    Refused m_eRefused = Refused::None;
};
