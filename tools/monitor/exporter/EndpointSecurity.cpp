#include "exporter/EndpointSecurity.h"

#include <memory>

#include "webconfig/BasicAuth.h"
#include "webconfig/TlsConnections.h"
#include "webconfig/WebConfig.h"

bool LoadEndpointSecurity(const std::string& path, FILE* err, MetricsSecurity& security, bool& tls,
                          std::string& error) {
    WebConfig config;
    if (!LoadWebConfig(path, config, error)) {
        return false;
    }
    if (!WebConfigSupported(config, error)) {
        error = path + ": " + error;
        return false;
    }
    tls = config.tls;
    if (config.tls) {
        const TlsReport report = [err](const std::string& line) {
            std::fprintf(err, "svcproc-monitor: %s\n", line.c_str());
            std::fflush(err);
        };
        if (!MakeTlsConnections(config.tlsServer, report, security.connections.make, error)) {
            error = path + ": " + error;
            return false;
        }
    }
    if (!config.users.empty()) {
        auto users = std::make_shared<CBasicAuth>(config.users);
        security.authorised = [users](const std::string& authorization) {
            return users->Allows(authorization);
        };
    }
    security.connections.fields = config.headers;
    return true;
}
