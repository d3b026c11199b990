// The exporter's connections as the web configuration asks: TLS from its
// certificate and key, which are re-read when they change. Only where the
// build has OpenSSL (WebConfigTlsPosix.cpp); Windows refuses TLS and basic
// authentication at start (WebConfigTlsWindows.cpp).
#pragma once

#include <functional>
#include <string>

#include "exporter/HttpConnection.h"
#include "webconfig/WebConfig.h"

// Whether this build can honour `config`; false with a one-line reason.
bool WebConfigSupported(const WebConfig& config, std::string& error);

// A line for the operator: a changed certificate loaded, or not.
using TlsReport = std::function<void(const std::string& line)>;

// Loads the certificate, key and client CAs now and makes TLS connections
// from them. Before each new connection the files' times and sizes are
// checked; a changed pair is loaded, and one that fails to load leaves the
// previous one in use (reported once per change). False with a reason when
// the files cannot be loaded now.
bool MakeTlsConnections(const TlsServerConfig& config, TlsReport report, ConnectionMaker& maker,
                        std::string& error);
