// --web.config.file: the Prometheus exporters' web configuration (YAML), read
// once at start and checked whole: TLS, basic authentication, extra answer
// headers. A key this exporter does not know, or knows and cannot honour, is
// refused rather than silently ignored.
#pragma once

#include <string>
#include <utility>
#include <vector>

enum class ClientAuth {
    NoClientCert,
    RequestClientCert,           // asked for, neither required nor verified
    RequireAnyClientCert,        // required, not verified
    VerifyClientCertIfGiven,     // verified when sent
    RequireAndVerifyClientCert,  // required and verified
};

// TLS versions as the file names them, TLS10 to TLS13.
enum class TlsVersion { Tls10, Tls11, Tls12, Tls13 };

struct TlsServerConfig {
    std::string certFile;  // relative names are taken from the file's folder
    std::string keyFile;
    std::string clientCaFile;  // empty: none
    ClientAuth clientAuth = ClientAuth::NoClientCert;
    TlsVersion minVersion = TlsVersion::Tls12;
    TlsVersion maxVersion = TlsVersion::Tls13;
};

struct BasicAuthUser {
    std::string name;
    std::string hash;  // bcrypt ($2a$, $2b$ or $2y$)
};

struct WebConfig {
    bool tls = false;  // tls_server_config with a certificate and key
    TlsServerConfig tlsServer;
    std::vector<BasicAuthUser> users;  // empty: no authentication
    std::vector<std::pair<std::string, std::string>> headers;
};

// Bounds on what the file may hold.
constexpr size_t kMaxWebConfigBytes = 64 * 1024;
constexpr size_t kMaxBasicAuthUsers = 256;

// Reads and checks the file. False with "PATH:LINE: reason" (or "PATH:
// reason" when no line applies).
bool LoadWebConfig(const std::string& path, WebConfig& config, std::string& error);
// The same for text already read; `name` stands for the file in messages and
// `folder` is where relative file names are taken from.
bool ParseWebConfig(const std::string& text, const std::string& name, const std::string& folder,
                    WebConfig& config, std::string& error);

// A bcrypt hash's form: "$2a$", "$2b$" or "$2y$", a cost of 04 to 31, "$",
// and 53 characters of its alphabet.
bool IsBcryptHash(const std::string& hash);
