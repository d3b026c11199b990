// The WMI SMBIOS provider behind the COM stand-ins, and what tests can see of
// the COM conversation. Only tests and the simulator use this header; the
// library never includes it.
//
// The provider serves the class "MSSMBios_RawSMBiosTables" in "ROOT\WMI".
// When a table is available the class has one instance whose property
// "SMBiosData" holds the raw SMBIOS structure table (no entry point in
// front), as VT_ARRAY | VT_UI1 indexed from 0; otherwise it has no instance.
//
// Table source. By default the table a simulator in the device directory
// serves (socket_devices.h), else the host's own table, read from
// /sys/firmware/dmi/tables/DMI (unreadable, e.g. when not root or absent:
// no instance); both are asked at each enumeration. Tests and the simulator
// install another source. Each
// enumeration (IWbemServices::CreateInstanceEnum) takes a snapshot of the
// source and of the serving settings below; later changes do not affect an
// enumerator or class object already handed out.
//
// All functions are thread-safe and may be called at any time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "win/oleauto.h"

// --- Table source (each call replaces the previous source) ------------------
// A copy of the given bytes (length 0 is an instance with an empty array).
SVCP_PLATFORM_API void SvcpWmiSetSmbiosTable(const uint8_t* bytes, size_t length);
// The whole content of a file, read at each enumeration; no instance while
// the file cannot be read.
SVCP_PLATFORM_API void SvcpWmiUseTableFile(const char* path);
// The host's table (/sys/firmware/dmi/tables/DMI) alone.
SVCP_PLATFORM_API void SvcpWmiUseHostTable();
// The class has no instance: enumerations end at once.
SVCP_PLATFORM_API void SvcpWmiSetNoInstance();

// --- How SMBiosData is served --------------------------------------------------
// The VARIANT type of the property:
//   VT_ARRAY | VT_UI1 (default)  the table, one element per byte
//   VT_ARRAY | t, t one of VT_I1, VT_I2, VT_UI2, VT_I4, VT_UI4, VT_INT,
//                VT_UINT        the table's bytes, one per element, widened
//   VT_EMPTY, VT_NULL            no value
//   VT_BSTR                      the text "SMBiosData"
//   VT_I4                        the table's length
// Another type makes Get fail with WBEM_E_TYPE_MISMATCH.
SVCP_PLATFORM_API void SvcpWmiServeDataAs(VARTYPE type);
// The array's lower bound (default 0), and the element type its descriptor
// really has (VT_EMPTY, the default: the one the VARIANT type names). A type
// other than the named one stands for a faulty provider whose VARIANT type
// disagrees with its array, e.g. VT_ARRAY | VT_UI1 with 2-byte elements.
SVCP_PLATFORM_API void SvcpWmiSetArrayShape(LONG lowerBound, VARTYPE actualElementType);

// Back to the defaults: a served table or the host's, VT_ARRAY | VT_UI1,
// lower bound 0.
// Does not touch the trace, the counters or planned failures.
SVCP_PLATFORM_API void SvcpWmiReset();

// --- Observation ------------------------------------------------------------------
// Objects and allocations of the COM layer that are alive now: objects not
// released to zero (locators, services, enumerators, class objects), BSTRs
// not freed, SAFEARRAYs not destroyed. All zero after a clean conversation.
struct SvcpComLiveCounts {
    unsigned objects;
    unsigned strings;
    unsigned arrays;
};
SVCP_PLATFORM_API SvcpComLiveCounts SvcpComGetLiveCounts();

// The trace: while started, every COM call of any thread is recorded as one
// line, in the order the calls returned, with its arguments and, for calls
// that return an HRESULT, its result:
//   CoInitializeEx(null, 0x0) = 0x0
//   CoUninitialize()
//   CoCreateInstance(CLSID_WbemLocator, null, 0x1, IID_IWbemLocator) = 0x0
//   SysAllocString("ROOT\WMI")           SysAllocString("ROOT\WMI") = null
//   SysFreeString("ROOT\WMI")
//   IWbemLocator::ConnectServer("ROOT\WMI", null, null, null, 0x0, null, null) = 0x0
//   CoSetProxyBlanket(IWbemServices, 10, 0, null, 3, 3, null, 0x0) = 0x0
//   IWbemServices::CreateInstanceEnum("MSSMBios_RawSMBiosTables", 0x0, null) = 0x0
//   IEnumWbemClassObject::Next(0xffffffff, 1, objects, returned) = 0x0, returned 1
//   IWbemClassObject::Get("SMBiosData", 0x0, value, type, null) = 0x0
//   VariantClear(0x2011) = 0x0
//   IWbemClassObject::AddRef() = 2      IWbemClassObject::Release() = 0
// Strings are printed as ASCII ('?' for other characters), time-outs and
// flags as their low 32 bits, pointers as null or the parameter's name, GUIDs
// by name when known. The BSTR, VARIANT and SAFEARRAY functions other than
// those above are not recorded.
SVCP_PLATFORM_API void SvcpComTraceStart();  // clears the trace and records
SVCP_PLATFORM_API void SvcpComTraceStop();   // stops recording; keeps the trace
SVCP_PLATFORM_API std::vector<std::string> SvcpComTrace();
