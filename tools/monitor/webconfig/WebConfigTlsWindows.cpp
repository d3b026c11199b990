#include "webconfig/TlsConnections.h"

bool WebConfigSupported(const WebConfig& config, std::string& error) {
    if (config.tls || !config.users.empty()) {
        error =
            "tls_server_config and basic_auth_users are not available on Windows; serve the "
            "metrics through windows_exporter's textfile collector instead (docs/windows.md)";
        return false;
    }
    return true;
}

bool MakeTlsConnections(const TlsServerConfig&, TlsReport, ConnectionMaker&, std::string& error) {
    error = "TLS is not available on Windows";
    return false;
}
