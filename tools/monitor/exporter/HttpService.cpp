#include "exporter/HttpService.h"

#include <algorithm>
#include <optional>
#include <thread>
#include <vector>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/thread_pool.hpp>

#include "exporter/HttpConnection.h"

namespace asio = boost::asio;
using asio::ip::tcp;
using boost::system::error_code;

struct CHttpService::Engine {
    Engine(Handler handlerIn, const HttpLimits& limitsIn, HttpConnections connectionsIn)
        : handler(std::move(handlerIn)),
          limits(limitsIn),
          made(std::move(connectionsIn)),
          pool(std::max<size_t>(1, limitsIn.threads)) {}

    // One listening socket and its wait after a failed accept.
    struct Listener {
        explicit Listener(asio::io_context& io) : acceptor(io), retry(io) {}
        tcp::acceptor acceptor;
        asio::steady_timer retry;
        int port = 0;
    };

    bool Listen(const std::string& host, int wanted, std::string& error);
    void Accept(Listener& listener);
    void Admit(tcp::socket socket);
    void Refuse(tcp::socket& socket) const;
    void Answer(const std::shared_ptr<CHttpConnection>& connection, const HttpRequest& request);
    void CloseAll();

    Handler handler;
    HttpLimits limits;
    HttpConnections made;
    asio::io_context io{1};
    asio::thread_pool pool;
    std::vector<std::unique_ptr<Listener>> listeners;
    // Only the I/O thread touches these.
    std::vector<std::weak_ptr<CHttpConnection>> connections;
    size_t answering = 0;  // handed to the workers, not yet delivered
    bool closing = false;

    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work;
    std::thread thread;
    bool started = false;
    bool stopped = false;
};

bool CHttpService::Engine::Listen(const std::string& host, int wanted, std::string& error) {
    const std::string refusal =
        "cannot listen on " + host + ":" + std::to_string(wanted) +
        " (address in use, not an address of this machine, or not permitted)";
    auto listener = std::make_unique<Listener>(io);
    tcp::acceptor& acceptor = listener->acceptor;
    tcp::resolver resolver(io);
    error_code failed;
    const auto endpoints =
        resolver.resolve(host, std::to_string(wanted),
                         tcp::resolver::passive | tcp::resolver::numeric_service, failed);
    if (failed) {
        error = refusal;
        return false;
    }
    for (const auto& entry : endpoints) {
        error_code ignored;
        acceptor.close(ignored);
        acceptor.open(entry.endpoint().protocol(), failed);
        if (failed) {
            continue;
        }
        // A restart may take the address over from its own closing
        // connections; nobody may share the port (no SO_REUSEPORT, with which
        // a second exporter would silently split the scrapes). On Windows
        // neither: its SO_REUSEADDR would let another process take the port.
#ifndef _WIN32
        acceptor.set_option(tcp::acceptor::reuse_address(true), ignored);
#endif
        acceptor.bind(entry.endpoint(), failed);
        if (!failed) {
            acceptor.listen(asio::socket_base::max_listen_connections, failed);
        }
        if (!failed) {
            listener->port = acceptor.local_endpoint(failed).port();
            if (!failed) {
                listeners.push_back(std::move(listener));
                return true;
            }
        }
    }
    acceptor.close(failed);
    error = refusal;
    return false;
}

void CHttpService::Engine::Accept(Listener& listener) {
    listener.acceptor.async_accept([this, &listener](const error_code& error, tcp::socket socket) {
        if (closing || error == asio::error::operation_aborted) {
            return;
        }
        if (error) {
            // Out of descriptors or memory: try again shortly rather than
            // spin on an error that persists.
            listener.retry.expires_after(std::chrono::milliseconds(100));
            listener.retry.async_wait([this, &listener](const error_code& waited) {
                if (!waited && !closing) {
                    Accept(listener);
                }
            });
            return;
        }
        Admit(std::move(socket));
        Accept(listener);
    });
}

void CHttpService::Engine::Admit(tcp::socket socket) {
    connections.erase(std::remove_if(connections.begin(), connections.end(),
                                     [](const auto& weak) { return weak.expired(); }),
                      connections.end());
    if (connections.size() >= limits.connections) {
        // Room is made by a connection waiting for a request: one that has
        // sent nothing before one whose request has begun, the longest
        // waiting first. Idle and dripping clients go before a scrape.
        using Standing = CHttpConnection::Standing;
        size_t oldest = connections.size();
        std::shared_ptr<CHttpConnection> candidate;
        Standing best = Standing::Answering;
        for (size_t i = 0; i < connections.size(); ++i) {
            std::shared_ptr<CHttpConnection> connection = connections[i].lock();
            const Standing standing = connection ? connection->Stand() : Standing::Answering;
            if (standing == Standing::Answering) {
                continue;
            }
            if (!candidate || (standing == Standing::Silent && best == Standing::Arriving) ||
                (standing == best && connection->WaitingSince() < candidate->WaitingSince())) {
                candidate = connection;
                best = standing;
                oldest = i;
            }
        }
        if (!candidate) {
            Refuse(socket);
            return;
        }
        candidate->Drop();
        connections.erase(connections.begin() + static_cast<std::ptrdiff_t>(oldest));
    }
    CHttpConnection::Answerer answerer = [this](std::shared_ptr<CHttpConnection> asking,
                                                const HttpRequest& request) {
        Answer(asking, request);
    };
    std::shared_ptr<CHttpConnection> connection =
        made.make
            ? made.make(std::move(socket), limits, made.fields, std::move(answerer))
            : MakePlainConnection(std::move(socket), limits, made.fields, std::move(answerer));
    connections.push_back(connection);
    connection->Start();
}

void CHttpService::Engine::Refuse(tcp::socket& socket) const {
    // Every connection is being answered: say so at once, without waiting
    // on this client for anything. A TLS client could not read plain text,
    // so it is only closed.
    error_code ignored;
    socket.non_blocking(true, ignored);
    if (!made.make) {
        HttpAnswer refusal = StatusAnswer(503);
        refusal.fields = made.fields;
        const std::string text = SerialiseAnswer(refusal, false, true, 11);
        socket.write_some(asio::buffer(text), ignored);
    }
    socket.shutdown(tcp::socket::shutdown_both, ignored);
    socket.close(ignored);
}

void CHttpService::Engine::Answer(const std::shared_ptr<CHttpConnection>& connection,
                                  const HttpRequest& request) {
    if (limits.answering != 0 && answering >= limits.answering) {
        // Queuing it would only make the scraper time out later.
        connection->Deliver(StatusAnswer(503));
        return;
    }
    ++answering;
    asio::post(pool, [this, connection, request] {
        HttpAnswer answer;
        try {
            answer = handler(request);
        } catch (...) {
            answer = StatusAnswer(500);
        }
        asio::post(io, [this, connection, answer = std::move(answer)] {
            --answering;
            connection->Deliver(answer);
        });
    });
}

void CHttpService::Engine::CloseAll() {
    closing = true;
    error_code ignored;
    for (const auto& listener : listeners) {
        listener->acceptor.close(ignored);
        listener->retry.cancel();
    }
    for (const auto& weak : connections) {
        if (std::shared_ptr<CHttpConnection> connection = weak.lock()) {
            connection->Drop();
        }
    }
    connections.clear();
}

CHttpService::CHttpService(Handler handler, const HttpLimits& limits, HttpConnections connections)
    : m_pEngine(std::make_unique<Engine>(std::move(handler), limits, std::move(connections))) {}

CHttpService::~CHttpService() {
    Stop();
}

bool CHttpService::Start(const std::vector<HttpEndpoint>& endpoints, std::string& error) {
    Engine& engine = *m_pEngine;
    if (engine.started) {
        error = "the HTTP server runs already";
        return false;
    }
    for (const HttpEndpoint& endpoint : endpoints) {
        if (!engine.Listen(endpoint.host, endpoint.port, error)) {
            engine.listeners.clear();
            return false;
        }
    }
    engine.started = true;
    engine.work.emplace(engine.io.get_executor());
    for (const auto& listener : engine.listeners) {
        engine.Accept(*listener);
    }
    engine.thread = std::thread([&engine] { engine.io.run(); });
    return true;
}

int CHttpService::Port(size_t index) const {
    const auto& listeners = m_pEngine->listeners;
    return index < listeners.size() ? listeners[index]->port : 0;
}

void CHttpService::Stop() {
    Engine& engine = *m_pEngine;
    if (!engine.started || engine.stopped) {
        return;
    }
    engine.stopped = true;
    asio::post(engine.io, [&engine] { engine.CloseAll(); });
    // The answers being computed end; they find their connections closed.
    engine.pool.join();
    engine.work.reset();
    engine.thread.join();
}
