#include "webconfig/WebConfig.h"

#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include <yaml-cpp/yaml.h>

#include "run/BoundedFile.h"

namespace {

constexpr size_t kMaxValueBytes = 4096;
constexpr size_t kMaxUserNameBytes = 256;

// A refusal at a node's line (0: none).
struct Refused {
    int line;
    std::string reason;
};

[[noreturn]] void Refuse(const YAML::Node& at, const std::string& reason) {
    const YAML::Mark mark = at.Mark();
    throw Refused{mark.is_null() ? 0 : mark.line + 1, reason};
}

// A mapping's entries by key, each key once; null is an empty mapping.
std::vector<std::pair<std::string, YAML::Node>> Entries(const YAML::Node& node,
                                                        const std::string& what) {
    std::vector<std::pair<std::string, YAML::Node>> entries;
    if (node.IsNull()) {
        return entries;
    }
    if (!node.IsMap()) {
        Refuse(node, what + " must be a mapping");
    }
    std::set<std::string> seen;
    for (const auto& entry : node) {
        if (!entry.first.IsScalar()) {
            Refuse(entry.first, what + ": a key must be a plain name");
        }
        const std::string key = entry.first.Scalar();
        if (!seen.insert(key).second) {
            Refuse(entry.first, what + ": '" + key + "' is given twice");
        }
        entries.emplace_back(key, entry.second);
    }
    return entries;
}

// A string value; null is empty. Printable text only, within bounds.
std::string Text(const YAML::Node& node, const std::string& key) {
    if (node.IsNull()) {
        return "";
    }
    if (!node.IsScalar()) {
        Refuse(node, key + " must be a string");
    }
    const std::string text = node.Scalar();
    if (text.size() > kMaxValueBytes) {
        Refuse(node, key + " is longer than " + std::to_string(kMaxValueBytes) + " bytes");
    }
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) {
            Refuse(node, key + " holds a control character (a line break, say)");
        }
    }
    return text;
}

bool Boolean(const YAML::Node& node, const std::string& key) {
    const std::string text = node.IsScalar() ? node.Scalar() : "";
    if (text != "true" && text != "false") {
        Refuse(node, key + " must be true or false");
    }
    return text == "true";
}

template <typename Value>
Value OneOf(const YAML::Node& node, const std::string& key,
            const std::map<std::string, Value>& values) {
    const std::string text = Text(node, key);
    const auto found = values.find(text);
    if (found == values.end()) {
        std::string names;
        for (const auto& value : values) {
            names += (names.empty() ? "" : ", ") + value.first;
        }
        Refuse(node, key + " '" + text + "' is not one of " + names);
    }
    return found->second;
}

std::string FileIn(const std::string& folder, const std::string& name) {
    if (name.empty() || folder.empty() || std::filesystem::path(name).is_absolute()) {
        return name;
    }
    return (std::filesystem::path(folder) / name).string();
}

void ReadTls(const YAML::Node& node, const std::string& folder, WebConfig& config) {
    static const std::map<std::string, TlsVersion> versions = {{"TLS10", TlsVersion::Tls10},
                                                               {"TLS11", TlsVersion::Tls11},
                                                               {"TLS12", TlsVersion::Tls12},
                                                               {"TLS13", TlsVersion::Tls13}};
    static const std::map<std::string, ClientAuth> clientAuths = {
        {"NoClientCert", ClientAuth::NoClientCert},
        {"RequestClientCert", ClientAuth::RequestClientCert},
        {"RequireAnyClientCert", ClientAuth::RequireAnyClientCert},
        {"VerifyClientCertIfGiven", ClientAuth::VerifyClientCertIfGiven},
        {"RequireAndVerifyClientCert", ClientAuth::RequireAndVerifyClientCert}};
    TlsServerConfig& tls = config.tlsServer;
    const auto entries = Entries(node, "tls_server_config");
    for (const auto& [key, value] : entries) {
        if (key == "cert_file") {
            tls.certFile = FileIn(folder, Text(value, key));
        } else if (key == "key_file") {
            tls.keyFile = FileIn(folder, Text(value, key));
        } else if (key == "client_ca_file") {
            tls.clientCaFile = FileIn(folder, Text(value, key));
        } else if (key == "client_auth_type") {
            tls.clientAuth = OneOf(value, key, clientAuths);
        } else if (key == "min_version") {
            tls.minVersion = OneOf(value, key, versions);
        } else if (key == "max_version") {
            tls.maxVersion = OneOf(value, key, versions);
        } else if (key == "prefer_server_cipher_suites") {
            Boolean(value, key);  // the server's order is always preferred
        } else if (key == "cipher_suites" || key == "curve_preferences") {
            Refuse(value, key + " is not supported: the system's OpenSSL defaults apply");
        } else if (key == "cert" || key == "key" || key == "client_ca") {
            Refuse(value, key + " (inline PEM) is not supported: use " + key + "_file");
        } else if (key == "client_allowed_sans") {
            Refuse(value, key + " is not supported");
        } else {
            Refuse(value, "tls_server_config: unknown key '" + key + "'");
        }
    }
    if (entries.empty()) {
        return;
    }
    if (tls.certFile.empty() || tls.keyFile.empty()) {
        Refuse(node, "tls_server_config needs both cert_file and key_file");
    }
    const bool verifies = tls.clientAuth == ClientAuth::VerifyClientCertIfGiven ||
                          tls.clientAuth == ClientAuth::RequireAndVerifyClientCert;
    if (verifies && tls.clientCaFile.empty()) {
        Refuse(node, "client_auth_type verifies client certificates: it needs client_ca_file");
    }
    if (!tls.clientCaFile.empty() && tls.clientAuth == ClientAuth::NoClientCert) {
        Refuse(node, "client_ca_file is given but client_auth_type is NoClientCert");
    }
    if (tls.minVersion > tls.maxVersion) {
        Refuse(node, "min_version is above max_version");
    }
    config.tls = true;
}

void ReadHeaders(const YAML::Node& node, WebConfig& config) {
    // The headers an operator may set, and the values some are held to;
    // the others (Content-Type, Set-Cookie, ...) belong to the server.
    static const std::map<std::string, std::set<std::string>> allowed = {
        {"Content-Security-Policy", {}},
        {"Strict-Transport-Security", {}},
        {"X-Content-Type-Options", {"nosniff"}},
        {"X-Frame-Options", {"deny", "sameorigin"}},
        {"X-XSS-Protection", {}}};
    for (const auto& [name, value] : Entries(node, "headers")) {
        const auto rule = allowed.find(name);
        if (rule == allowed.end()) {
            Refuse(value, "header '" + name + "' cannot be set here");
        }
        const std::string text = Text(value, name);
        if (text.empty()) {
            continue;  // blank: not sent
        }
        if (!rule->second.empty() && rule->second.count(text) == 0) {
            Refuse(value, name + " '" + text + "' is not one of its allowed values");
        }
        config.headers.emplace_back(name, text);
    }
}

void ReadHttpServer(const YAML::Node& node, WebConfig& config) {
    for (const auto& [key, value] : Entries(node, "http_server_config")) {
        if (key == "headers") {
            ReadHeaders(value, config);
        } else if (key == "http2") {
            Boolean(value, key);  // answered over HTTP/1.1 either way
        } else {
            Refuse(value, "http_server_config: unknown key '" + key + "'");
        }
    }
}

void ReadUsers(const YAML::Node& node, WebConfig& config) {
    for (const auto& [name, value] : Entries(node, "basic_auth_users")) {
        if (config.users.size() == kMaxBasicAuthUsers) {
            Refuse(value, "more than " + std::to_string(kMaxBasicAuthUsers) + " users");
        }
        if (name.empty() || name.size() > kMaxUserNameBytes ||
            name.find(':') != std::string::npos) {
            Refuse(value,
                   "user name '" + name.substr(0, 64) + "' must be 1 to 256 bytes without ':'");
        }
        const std::string hash = Text(value, "user " + name);
        if (!IsBcryptHash(hash)) {
            Refuse(value, "user " + name + ": the password must be a bcrypt hash ($2y$...)");
        }
        config.users.push_back(BasicAuthUser{name, hash});
    }
}

}  // namespace

bool IsBcryptHash(const std::string& hash) {
    static const std::string alphabet =
        "./ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    if (hash.size() != 60 || hash[0] != '$' || hash[1] != '2' ||
        (hash[2] != 'a' && hash[2] != 'b' && hash[2] != 'y') || hash[3] != '$' || hash[6] != '$' ||
        !std::isdigit(static_cast<unsigned char>(hash[4])) ||
        !std::isdigit(static_cast<unsigned char>(hash[5]))) {
        return false;
    }
    const int cost = (hash[4] - '0') * 10 + (hash[5] - '0');
    return cost >= 4 && cost <= 31 && hash.find_first_not_of(alphabet, 7) == std::string::npos;
}

bool ParseWebConfig(const std::string& text, const std::string& name, const std::string& folder,
                    WebConfig& config, std::string& error) {
    config = WebConfig();
    try {
        const YAML::Node root = YAML::Load(text);
        for (const auto& [key, value] : Entries(root, "the web configuration")) {
            if (key == "tls_server_config") {
                ReadTls(value, folder, config);
            } else if (key == "http_server_config") {
                ReadHttpServer(value, config);
            } else if (key == "basic_auth_users") {
                ReadUsers(value, config);
            } else if (key == "rate_limit") {
                Refuse(value, "rate_limit is not supported: use --web.max-requests");
            } else {
                Refuse(value, "unknown key '" + key + "'");
            }
        }
    } catch (const Refused& refused) {
        error = name + (refused.line > 0 ? ":" + std::to_string(refused.line) : "") + ": " +
                refused.reason;
        return false;
    } catch (const YAML::Exception& e) {
        error =
            name + (e.mark.is_null() ? "" : ":" + std::to_string(e.mark.line + 1)) + ": " + e.msg;
        return false;
    }
    return true;
}

bool LoadWebConfig(const std::string& path, WebConfig& config, std::string& error) {
    std::string text;
    if (!ReadBoundedFile(path, kMaxWebConfigBytes, text, error)) {
        return false;
    }
    const std::string folder = std::filesystem::path(path).parent_path().string();
    return ParseWebConfig(text, path, folder, config, error);
}
