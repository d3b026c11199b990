// The provider's WMI objects, created by the locator and by each other.
#pragma once

#include "win/wbemcli.h"

namespace svcp {

// A services proxy connected to ROOT\WMI, with one reference; null when out
// of memory.
IWbemServices* NewWbemServices();

// The name of one of our interfaces behind an IUnknown ("IWbemServices"),
// "null", or "object" for anything else.
const char* TraceObject(IUnknown* object);

// True when the object is a proxy (CoSetProxyBlanket applies).
bool IsWbemProxy(IUnknown* object);

}  // namespace svcp
