#include <filesystem>
#include <memory>

#include <openssl/ssl.h>

#include <boost/asio/ssl/context.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/ssl/ssl_stream.hpp>

#include "exporter/StreamConnection.h"
#include "webconfig/TlsConnections.h"

namespace asio = boost::asio;
namespace ssl = boost::asio::ssl;
using boost::system::error_code;

namespace {

using TlsStream = boost::beast::ssl_stream<boost::beast::tcp_stream>;

// Keeps the context a connection was made with for as long as its stream,
// which is built after it.
struct ContextHolder {
    std::shared_ptr<ssl::context> m_pContext;
};

class CTlsConnection : private ContextHolder, public CStreamConnection<TlsStream> {
public:
    CTlsConnection(const HttpLimits& limits, const HttpFields& fields, Answerer answerer,
                   asio::ip::tcp::socket socket, std::shared_ptr<ssl::context> context)
        : ContextHolder{std::move(context)},
          CStreamConnection<TlsStream>(limits, fields, std::move(answerer), std::move(socket),
                                       *m_pContext) {}

private:
    void Open() override {
        m_Stream.async_handshake(ssl::stream_base::server,
                                 [self = std::static_pointer_cast<CTlsConnection>(
                                      shared_from_this())](const error_code& error) {
                                     if (error || !self->IsOpen()) {
                                         self->Drop();
                                         return;
                                     }
                                     self->ReadHead();
                                 });
    }
};

int ProtocolVersion(TlsVersion version) {
    switch (version) {
        case TlsVersion::Tls10:
            return TLS1_VERSION;
        case TlsVersion::Tls11:
            return TLS1_1_VERSION;
        case TlsVersion::Tls12:
            return TLS1_2_VERSION;
        case TlsVersion::Tls13:
            break;
    }
    return TLS1_3_VERSION;
}

std::shared_ptr<ssl::context> BuildContext(const TlsServerConfig& config, std::string& error) {
    auto context = std::make_shared<ssl::context>(ssl::context::tls_server);
    SSL_CTX* native = context->native_handle();
    context->set_options(ssl::context::default_workarounds | ssl::context::no_compression |
                         ssl::context::single_dh_use);
    SSL_CTX_set_min_proto_version(native, ProtocolVersion(config.minVersion));
    SSL_CTX_set_max_proto_version(native, ProtocolVersion(config.maxVersion));
    SSL_CTX_set_options(native, SSL_OP_CIPHER_SERVER_PREFERENCE);
    // Resumed sessions of verified clients need a context to belong to.
    static const unsigned char kSessionContext[] = "svcproc-monitor";
    SSL_CTX_set_session_id_context(native, kSessionContext, sizeof kSessionContext - 1);
    error_code failed;
    context->use_certificate_chain_file(config.certFile, failed);
    if (failed) {
        error = "cannot load cert_file " + config.certFile + ": " + failed.message();
        return nullptr;
    }
    context->use_private_key_file(config.keyFile, ssl::context::pem, failed);
    if (failed || SSL_CTX_check_private_key(native) != 1) {
        error = "cannot load key_file " + config.keyFile + ": " +
                (failed ? failed.message() : "it does not match the certificate");
        return nullptr;
    }
    if (!config.clientCaFile.empty()) {
        context->load_verify_file(config.clientCaFile, failed);
        STACK_OF(X509_NAME)* names = SSL_load_client_CA_file(config.clientCaFile.c_str());
        if (failed || names == nullptr) {
            error = "cannot load client_ca_file " + config.clientCaFile +
                    (failed ? ": " + failed.message() : "");
            return nullptr;
        }
        SSL_CTX_set_client_CA_list(native, names);  // the context owns them now
    }
    const auto acceptAny = [](bool, ssl::verify_context&) { return true; };
    switch (config.clientAuth) {
        case ClientAuth::NoClientCert:
            context->set_verify_mode(ssl::verify_none);
            break;
        case ClientAuth::RequestClientCert:
            context->set_verify_mode(ssl::verify_peer);
            context->set_verify_callback(acceptAny);
            break;
        case ClientAuth::RequireAnyClientCert:
            context->set_verify_mode(ssl::verify_peer | ssl::verify_fail_if_no_peer_cert);
            context->set_verify_callback(acceptAny);
            break;
        case ClientAuth::VerifyClientCertIfGiven:
            context->set_verify_mode(ssl::verify_peer);
            break;
        case ClientAuth::RequireAndVerifyClientCert:
            context->set_verify_mode(ssl::verify_peer | ssl::verify_fail_if_no_peer_cert);
            break;
    }
    return context;
}

// The files' times and sizes: what says they were replaced.
struct Stamp {
    std::filesystem::file_time_type time[3];
    std::uintmax_t size[3] = {0, 0, 0};
    bool operator==(const Stamp& other) const {
        for (int i = 0; i < 3; ++i) {
            if (time[i] != other.time[i] || size[i] != other.size[i]) {
                return false;
            }
        }
        return true;
    }
};

// The context new connections get, reloaded when the files change. Used on
// the I/O thread only.
class CTlsContexts {
public:
    CTlsContexts(TlsServerConfig config, TlsReport report)
        : m_Config(std::move(config)), m_Report(std::move(report)) {}

    bool Load(std::string& error) {
        m_Loaded = Now();
        m_pContext = BuildContext(m_Config, error);
        return m_pContext != nullptr;
    }

    std::shared_ptr<ssl::context> Current() {
        const Stamp stamp = Now();
        if (stamp == m_Loaded || (m_bFailed && stamp == m_Failed)) {
            return m_pContext;
        }
        std::string error;
        if (std::shared_ptr<ssl::context> context = BuildContext(m_Config, error)) {
            m_pContext = std::move(context);
            m_Loaded = stamp;
            m_bFailed = false;
            m_Report("the changed TLS certificate and key are in use");
        } else {
            m_Failed = stamp;
            m_bFailed = true;
            m_Report("the changed TLS files cannot be used (" + error +
                     "); the previous certificate stays in use");
        }
        return m_pContext;
    }

private:
    Stamp Now() const {
        Stamp stamp;
        const std::string* files[3] = {&m_Config.certFile, &m_Config.keyFile,
                                       &m_Config.clientCaFile};
        for (int i = 0; i < 3; ++i) {
            std::error_code ignored;
            if (!files[i]->empty()) {
                stamp.time[i] = std::filesystem::last_write_time(*files[i], ignored);
                stamp.size[i] = std::filesystem::file_size(*files[i], ignored);
            }
        }
        return stamp;
    }

    TlsServerConfig m_Config;
    TlsReport m_Report;
    std::shared_ptr<ssl::context> m_pContext;
    Stamp m_Loaded;
    Stamp m_Failed;
    bool m_bFailed = false;
};

}  // namespace

bool WebConfigSupported(const WebConfig&, std::string&) {
    return true;
}

bool MakeTlsConnections(const TlsServerConfig& config, TlsReport report, ConnectionMaker& maker,
                        std::string& error) {
    auto contexts = std::make_shared<CTlsContexts>(config, std::move(report));
    if (!contexts->Load(error)) {
        return false;
    }
    maker = [contexts](asio::ip::tcp::socket socket, const HttpLimits& limits,
                       const HttpFields& fields, CHttpConnection::Answerer answerer) {
        return std::make_shared<CTlsConnection>(limits, fields, std::move(answerer),
                                                std::move(socket), contexts->Current());
    };
    return true;
}
