// The web configuration's reading and basic authentication.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "webconfig/BasicAuth.h"
#include "webconfig/WebConfig.h"

namespace {

// bcrypt (cost 4) of "secret".
const char* const kSecretHash = "$2b$04$37AZDjvEds1LH8i0UqZlV./b0QVn6ydbkesYX1e3a.0gYt3.Rbyvu";

std::string Parse(const std::string& text, WebConfig& config) {
    std::string error;
    return ParseWebConfig(text, "web.yml", "/etc/svcproc", config, error) ? "" : error;
}

TEST(WebConfig, RefusesWithFileLineAndReason) {
    const std::string tls = "tls_server_config:\n  cert_file: a.crt\n  key_file: a.key\n";
    const struct {
        std::string text;
        std::string error;
    } cases[] = {
        {"tls_config:\n  cert_file: a\n", "web.yml:2: unknown key 'tls_config'"},
        {tls + "  ciphers: [a]\n", "web.yml:4: tls_server_config: unknown key 'ciphers'"},
        {"tls_server_config:\n  cert_file: a.crt\n",
         "web.yml:2: tls_server_config needs both cert_file and key_file"},
        {tls + "  client_auth_type: Always\n",
         "web.yml:4: client_auth_type 'Always' is not one of NoClientCert,"},
        {tls + "  client_auth_type: RequireAndVerifyClientCert\n",
         "web.yml:2: client_auth_type verifies client certificates: it needs client_ca_file"},
        {tls + "  client_ca_file: ca.crt\n",
         "web.yml:2: client_ca_file is given but client_auth_type is NoClientCert"},
        {tls + "  min_version: TLS13\n  max_version: TLS12\n",
         "web.yml:2: min_version is above max_version"},
        {tls + "  max_version: TLS14\n", "web.yml:4: max_version 'TLS14' is not one of"},
        {tls + "  cipher_suites: [TLS_AES_128_GCM_SHA256]\n",
         "web.yml:4: cipher_suites is not supported"},
        {tls + "  cert: PEM\n", "web.yml:4: cert (inline PEM) is not supported: use cert_file"},
        {tls + "  cert_file: b.crt\n", "web.yml:4: tls_server_config: 'cert_file' is given twice"},
        {"http_server_config:\n  headers:\n    Content-Type: text/html\n",
         "web.yml:3: header 'Content-Type' cannot be set here"},
        {"http_server_config:\n  headers:\n    X-Frame-Options: allow\n",
         "web.yml:3: X-Frame-Options 'allow' is not one of its allowed values"},
        {"http_server_config:\n  headers:\n    Content-Security-Policy: \"a\\r\\nSet-Cookie: x\"\n",
         "web.yml:3: Content-Security-Policy holds a control character"},
        {"http_server_config:\n  http2: maybe\n", "web.yml:2: http2 must be true or false"},
        {"basic_auth_users:\n  alice: secret\n",
         "web.yml:2: user alice: the password must be a bcrypt hash"},
        {"basic_auth_users:\n  alice: $1$abcdefgh$abcdefghijklmnopqrstuv\n",
         "web.yml:2: user alice: the password must be a bcrypt hash"},
        {std::string("basic_auth_users:\n  \"a:b\": ") + kSecretHash + "\n",
         "web.yml:2: user name 'a:b' must be 1 to 256 bytes without ':'"},
        {"basic_auth_users: [alice]\n", "web.yml:1: basic_auth_users must be a mapping"},
        {"rate_limit:\n  burst: 2\n", "web.yml:2: rate_limit is not supported"},
        {"tls_server_config:\n  cert_file: [a\n", "web.yml:3: "},
        {"- a\n- b\n", "web.yml:1: the web configuration must be a mapping"},
    };
    for (const auto& c : cases) {
        WebConfig config;
        const std::string error = Parse(c.text, config);
        EXPECT_EQ(error.rfind(c.error, 0), 0u) << c.text << "gave: " << error;
    }
}

TEST(WebConfig, ReadsEveryKeyItHonours) {
    WebConfig config;
    const std::string text = std::string(
                                 "tls_server_config:\n"
                                 "  cert_file: tls/server.crt\n"
                                 "  key_file: /keys/server.key\n"
                                 "  client_ca_file: ca.crt\n"
                                 "  client_auth_type: VerifyClientCertIfGiven\n"
                                 "  min_version: TLS13\n"
                                 "  prefer_server_cipher_suites: false\n"
                                 "http_server_config:\n"
                                 "  http2: false\n"
                                 "  headers:\n"
                                 "    X-Frame-Options: sameorigin\n"
                                 "    X-XSS-Protection: ''\n"
                                 "    Strict-Transport-Security: max-age=31536000\n"
                                 "basic_auth_users:\n"
                                 "  alice: ") +
                             kSecretHash + "\n";
    ASSERT_EQ(Parse(text, config), "");
    EXPECT_TRUE(config.tls);
    EXPECT_EQ(config.tlsServer.certFile, "/etc/svcproc/tls/server.crt");
    EXPECT_EQ(config.tlsServer.keyFile, "/keys/server.key");
    EXPECT_EQ(config.tlsServer.clientCaFile, "/etc/svcproc/ca.crt");
    EXPECT_EQ(config.tlsServer.clientAuth, ClientAuth::VerifyClientCertIfGiven);
    EXPECT_EQ(config.tlsServer.minVersion, TlsVersion::Tls13);
    EXPECT_EQ(config.tlsServer.maxVersion, TlsVersion::Tls13);
    // A blank header is not sent.
    const std::vector<std::pair<std::string, std::string>> headers = {
        {"X-Frame-Options", "sameorigin"}, {"Strict-Transport-Security", "max-age=31536000"}};
    EXPECT_EQ(config.headers, headers);
    ASSERT_EQ(config.users.size(), 1u);
    EXPECT_EQ(config.users[0].name, "alice");

    // Empty, or TLS left empty: plain HTTP to anyone.
    for (const char* plain : {"", "tls_server_config:\n", "basic_auth_users: {}\n"}) {
        ASSERT_EQ(Parse(plain, config), "") << plain;
        EXPECT_FALSE(config.tls);
        EXPECT_TRUE(config.users.empty());
    }
}

TEST(WebConfig, RefusesFilesItCannotRead) {
    WebConfig config;
    std::string error;
    EXPECT_FALSE(LoadWebConfig("/nonexistent/web.yml", config, error));
    EXPECT_EQ(error, "/nonexistent/web.yml: No such file or directory");
    EXPECT_FALSE(LoadWebConfig("/", config, error));

    const std::string path = ::testing::TempDir() + "/large-web.yml";
    {
        std::ofstream file(path);
        file << "# " << std::string(kMaxWebConfigBytes, 'x') << "\n";
    }
    EXPECT_FALSE(LoadWebConfig(path, config, error));
    EXPECT_EQ(error, path + ": larger than 65536 bytes");
    std::remove(path.c_str());
}

TEST(WebConfig, KnowsBcryptHashes) {
    EXPECT_TRUE(IsBcryptHash(kSecretHash));
    EXPECT_TRUE(IsBcryptHash("$2y$10$X0h1gDsPszWURQaxFh.zoubFi6DXncSjhoQNJgRrnGs7EsimhC7zG"));
    for (const char* not_bcrypt :
         {"", "secret", "$2x$10$X0h1gDsPszWURQaxFh.zoubFi6DXncSjhoQNJgRrnGs7EsimhC7zG",
          "$2y$03$X0h1gDsPszWURQaxFh.zoubFi6DXncSjhoQNJgRrnGs7EsimhC7zG",
          "$2y$10$X0h1gDsPszWURQaxFh.zoubFi6DXncSjhoQNJgRrnGs7EsimhC7z",
          "$2y$10$X0h1gDsPszWURQaxFh.zoubFi6DXncSjhoQNJgRrnGs7Esimh:7zG"}) {
        EXPECT_FALSE(IsBcryptHash(not_bcrypt)) << not_bcrypt;
    }
}

// "Basic " and base64 of "user:password".
std::string Basic(const std::string& credentials) {
    static const char* const digits =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (size_t i = 0; i < credentials.size(); i += 3) {
        unsigned int block = static_cast<unsigned char>(credentials[i]) << 16;
        const size_t n = std::min<size_t>(3, credentials.size() - i);
        if (n > 1)
            block |= static_cast<unsigned char>(credentials[i + 1]) << 8;
        if (n > 2)
            block |= static_cast<unsigned char>(credentials[i + 2]);
        for (size_t j = 0; j < 4; ++j) {
            text += j <= n ? digits[(block >> (18 - 6 * j)) & 63] : '=';
        }
    }
    return "Basic " + text;
}

TEST(BasicAuth, VerifiesOncePerPasswordAndRefusesTheRest) {
    int verified = 0;
    CBasicAuth auth(std::vector<BasicAuthUser>{{"alice", "hash-of-alice"}, {"bob", "hash-of-bob"}},
                    [&verified](const std::string& password, const std::string& hash) {
                        ++verified;
                        return hash == "hash-of-" + password;
                    });
    EXPECT_TRUE(auth.Allows(Basic("alice:alice")));
    EXPECT_EQ(verified, 1);
    EXPECT_TRUE(auth.Allows(Basic("alice:alice")));
    EXPECT_TRUE(auth.Allows("bASIC " + Basic("alice:alice").substr(6)));
    EXPECT_EQ(verified, 1) << "a verified password is remembered";

    // Wrong passwords are verified every time, and do not displace the
    // remembered one; an unknown user costs a verification too.
    EXPECT_FALSE(auth.Allows(Basic("alice:alicex")));
    EXPECT_FALSE(auth.Allows(Basic("alice:alic")));
    EXPECT_FALSE(auth.Allows(Basic("alice:bob")));
    EXPECT_FALSE(auth.Allows(Basic("carol:alice")));
    EXPECT_EQ(verified, 5);
    EXPECT_TRUE(auth.Allows(Basic("alice:alice")));
    EXPECT_TRUE(auth.Allows(Basic("bob:bob")));
    EXPECT_FALSE(auth.Allows(Basic("bob:alice")));

    for (const std::string& refused :
         {std::string(), std::string("Basic"), std::string("Bearer YWxpY2U6YWxpY2U="),
          std::string("Basic YWxpY2U6YWxpY2U"), std::string("Basic YWxp=2U6YWxpY2U="),
          Basic("alice"), Basic("alice:"),
          Basic("alice:" + std::string(kMaxAuthorizationBytes, 'a'))}) {
        EXPECT_FALSE(auth.Allows(refused)) << refused;
    }
}

TEST(BasicAuth, ChecksRealBcryptHashes) {
    EXPECT_TRUE(BcryptMatches("secret", kSecretHash));
    EXPECT_FALSE(BcryptMatches("secreT", kSecretHash));
    EXPECT_FALSE(BcryptMatches("secret", "$2b$04$37AZDjvEds1LH8i0UqZlV."));
    CBasicAuth auth(std::vector<BasicAuthUser>{{"alice", kSecretHash}});
    EXPECT_TRUE(auth.Allows(Basic("alice:secret")));
    EXPECT_FALSE(auth.Allows(Basic("alice:secret2")));
    // crypt() would read only up to the NUL.
    EXPECT_FALSE(auth.Allows(Basic(std::string("alice:secret\0x", 14))));
}

TEST(BasicAuth, ComparesWholeStrings) {
    EXPECT_TRUE(SameBytes("abc", "abc"));
    EXPECT_TRUE(SameBytes("", ""));
    EXPECT_FALSE(SameBytes("abc", "abd"));
    EXPECT_FALSE(SameBytes("abc", "ab"));
    EXPECT_FALSE(SameBytes("", std::string(1, '\0')));
}

}  // namespace
