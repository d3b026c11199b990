#include "exporter/HttpConnection.h"

#include <boost/beast/core/tcp_stream.hpp>

#include "exporter/StreamConnection.h"

std::shared_ptr<CHttpConnection> MakePlainConnection(boost::asio::ip::tcp::socket socket,
                                                     const HttpLimits& limits,
                                                     const HttpFields& fields,
                                                     CHttpConnection::Answerer answerer) {
    return std::make_shared<CStreamConnection<boost::beast::tcp_stream>>(
        limits, fields, std::move(answerer), std::move(socket));
}
