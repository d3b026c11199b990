// Allocation helpers shared by the OLE Automation stand-ins and the
// provider: like the public calls, but neither traced nor subject to
// planned failures.
#pragma once

#include <cstddef>

#include "win/oleauto.h"

namespace svcp {

// A BSTR of `length` characters copied from text; null when out of memory.
BSTR AllocBstr(const OLECHAR* text, size_t length);
void FreeBstr(BSTR text);

// Size in bytes of one element of a SAFEARRAY of type vt; 0 when the type
// is not supported.
ULONG ArrayElementSize(VARTYPE vt);

}  // namespace svcp
