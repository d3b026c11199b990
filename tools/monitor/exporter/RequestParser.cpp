#include "exporter/RequestParser.h"

#include <limits>

#include <boost/beast/core/buffers_to_string.hpp>
#include <boost/beast/core/error.hpp>
#include <boost/beast/http/error.hpp>

namespace http = boost::beast::http;
using boost::system::error_code;

CRequestParser::CRequestParser(const HttpLimits& limits)
    : m_nMaxLine(limits.requestLine), m_nMaxFields(limits.headers) {
    header_limit(static_cast<std::uint32_t>(limits.headerBytes));
    // Only the head is ever read; whether a body follows is judged from it,
    // whatever length it announces. (Not boost::none: Beast 1.74 compares
    // the length with it and refuses every body.)
    body_limit(std::numeric_limits<std::uint64_t>::max());
}

void CRequestParser::on_request_impl(http::verb, boost::beast::string_view methodText,
                                     boost::beast::string_view target, int version,
                                     error_code& error) {
    m_bLineSeen = true;
    // "METHOD SP TARGET SP HTTP/1.1"
    if (methodText.size() + target.size() + 10 > m_nMaxLine) {
        m_eRefused = Refused::Line;
        error = http::error::header_limit;
        return;
    }
    m_Request.method.assign(methodText.data(), methodText.size());
    m_Request.target.assign(target.data(), target.size());
    // Beast takes HTTP/1.x only; a later 1.x is answered as 1.1.
    m_Request.version = version <= 10 ? 10 : 11;
}

void CRequestParser::on_field_impl(http::field, boost::beast::string_view name,
                                   boost::beast::string_view value, error_code& error) {
    if (m_Request.fields.size() >= m_nMaxFields) {
        m_eRefused = Refused::Fields;
        error = http::error::header_limit;
        return;
    }
    m_Request.fields.emplace_back(std::string(name.data(), name.size()),
                                  std::string(value.data(), value.size()));
}

std::size_t CRequestParser::on_body_impl(boost::beast::string_view, error_code& error) {
    error = http::error::body_limit;
    return 0;
}

void CRequestParser::on_chunk_header_impl(std::uint64_t, boost::beast::string_view,
                                          error_code& error) {
    error = http::error::body_limit;
}

std::size_t CRequestParser::on_chunk_body_impl(std::uint64_t, boost::beast::string_view,
                                               error_code& error) {
    error = http::error::body_limit;
    return 0;
}

int CRequestParser::RefusalFor(const error_code& error,
                               const boost::beast::flat_buffer& buffered) const {
    switch (m_eRefused) {
        case Refused::Line:
            return 414;
        case Refused::Fields:
            return 431;
        case Refused::None:
            break;
    }
    if (error == http::error::header_limit || error == http::error::buffer_overflow) {
        // Too long before the request line ended: the line is at fault.
        if (!m_bLineSeen) {
            const std::string start =
                boost::beast::buffers_to_string(buffered.data()).substr(0, m_nMaxLine);
            if (start.find('\n') == std::string::npos) {
                return 414;
            }
        }
        return 431;
    }
    if (error.category() == http::make_error_code(http::error::bad_target).category() &&
        error != http::error::end_of_stream && error != http::error::partial_message &&
        error != http::error::need_more) {
        return 400;  // malformed: a line, a field, a length, an encoding
    }
    return 0;  // closed, reset, timed out, or stopped
}
