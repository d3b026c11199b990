// The metrics endpoint's security from --web.config.file: the file read and
// checked, TLS connections from its certificate, its users, its headers.
#pragma once

#include <cstdio>
#include <string>

#include "exporter/MetricsServer.h"

// False with a one-line reason ("PATH:LINE: reason") when the file cannot be
// used here. `err` receives the certificate reloads' reports. `tls` says
// whether the endpoint is served over TLS.
bool LoadEndpointSecurity(const std::string& path, FILE* err, MetricsSecurity& security, bool& tls,
                          std::string& error);
