// A TCP client of a server on the loopback that connects and sends nothing
// until destroyed: what a stalled or hostile scraper looks like.
#pragma once

#include "support/sockets/RawHttpClient.h"

using SilentClient = RawHttpClient;
