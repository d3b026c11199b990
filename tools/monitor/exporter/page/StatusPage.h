// GET /: the live status page for the technician at the till. It reads
// /api/v1/sensors every few seconds itself; the server only hands it out.
#pragma once

#include <string>

#include "exporter/HttpMessage.h"

// The page with its links to the metrics at `telemetryPath` (letters, digits
// and -._~/ only: it needs no escaping).
std::string StatusPage(const std::string& telemetryPath);

// The answer carrying `page`, with the fields that keep a browser to what it
// is: its policy, no content sniffing, no caching, no referrer.
HttpAnswer StatusPageAnswer(const std::string& page);
