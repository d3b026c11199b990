// OLE Automation subset (oleauto.h, oaidl.h): BSTR, VARIANT and SAFEARRAY.
//
// All functions are thread-safe; one BSTR, VARIANT or SAFEARRAY must not be
// used by two threads at once.
#pragma once

#include "win/com.h"

typedef OLECHAR* BSTR;
typedef unsigned short VARTYPE;
typedef short VARIANT_BOOL;
typedef LONG SCODE;

// --- BSTR ---------------------------------------------------------------------------
// A BSTR points to the characters of a heap block that keeps the string's
// length in bytes (a 32-bit value) just before them and a null character
// after them, as on Windows. Only SysFreeString may free it.
extern "C" {
// Copies a null-terminated string; returns null for null or when out of
// memory. Fault injection: SvcpCall::SysAllocString makes it return null.
SVCP_PLATFORM_API BSTR WINAPI SysAllocString(const OLECHAR* psz);
// Frees a BSTR; null is ignored.
SVCP_PLATFORM_API void WINAPI SysFreeString(BSTR bstrString);
// The length in characters from the prefix (0 for null); embedded nulls count.
SVCP_PLATFORM_API UINT WINAPI SysStringLen(BSTR pbstr);
}

// --- SAFEARRAY ------------------------------------------------------------------------
typedef struct tagSAFEARRAYBOUND {
    ULONG cElements;
    LONG lLbound;
} SAFEARRAYBOUND, *LPSAFEARRAYBOUND;

// rgsabound holds cDims bounds, the rightmost dimension first. pvData points
// to the first element, whatever the lower bound.
typedef struct tagSAFEARRAY {
    USHORT cDims;
    USHORT fFeatures;
    ULONG cbElements;
    ULONG cLocks;
    PVOID pvData;
    SAFEARRAYBOUND rgsabound[1];
} SAFEARRAY, *LPSAFEARRAY;

// --- VARIANT ---------------------------------------------------------------------------
enum VARENUM {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_BSTR = 8,
    VT_UNKNOWN = 13,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_INT = 22,
    VT_UINT = 23,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
    VT_TYPEMASK = 0xfff
};

// The members a caller names (v.vt, v.parray, ...) are those of Windows; the
// DECIMAL overlay of the real declaration is left out.
typedef struct tagVARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        int64_t llVal;
        LONG lVal;
        BYTE bVal;
        short iVal;
        CHAR cVal;
        USHORT uiVal;
        ULONG ulVal;
        INT intVal;
        UINT uintVal;
        BSTR bstrVal;
        IUnknown* punkVal;
        SAFEARRAY* parray;
        PVOID byref;
    };
} VARIANT, VARIANTARG, *LPVARIANT, *LPVARIANTARG;

#define V_VT(X) ((X)->vt)
#define V_ARRAY(X) ((X)->parray)
#define V_BSTR(X) ((X)->bstrVal)
#define V_I4(X) ((X)->lVal)
#define V_UI1(X) ((X)->bVal)

#define DISP_E_BADVARTYPE ((HRESULT)0x80020008L)
#define DISP_E_BADINDEX ((HRESULT)0x8002000BL)
#define DISP_E_ARRAYISLOCKED ((HRESULT)0x8002000DL)

extern "C" {

// Sets the type to VT_EMPTY without looking at the old contents.
SVCP_PLATFORM_API void WINAPI VariantInit(VARIANTARG* pvarg);
// Frees what the VARIANT owns (a BSTR, an array and its elements, a
// reference to an object) and sets it to VT_EMPTY. E_INVALIDARG for null,
// DISP_E_ARRAYISLOCKED (nothing freed) for an array whose data is accessed.
SVCP_PLATFORM_API HRESULT WINAPI VariantClear(VARIANTARG* pvarg);

// A one-dimensional array of cElements zeroed elements of type vt (VT_I1,
// VT_UI1, VT_I2, VT_UI2, VT_I4, VT_UI4, VT_INT, VT_UINT) indexed from
// lLbound. Null for another type or when out of memory.
SVCP_PLATFORM_API SAFEARRAY* WINAPI SafeArrayCreateVector(VARTYPE vt, LONG lLbound,
                                                          ULONG cElements);
// Frees the array and its data. E_INVALIDARG for null, DISP_E_ARRAYISLOCKED
// while its data is accessed.
SVCP_PLATFORM_API HRESULT WINAPI SafeArrayDestroy(SAFEARRAY* psa);
// Bounds of dimension nDim (1 = leftmost). The upper bound of an empty
// dimension is its lower bound minus 1. DISP_E_BADINDEX for a bad nDim.
SVCP_PLATFORM_API HRESULT WINAPI SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound);
SVCP_PLATFORM_API HRESULT WINAPI SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound);
// Locks the array and gives its data pointer; each successful call must be
// balanced by SafeArrayUnaccessData (E_UNEXPECTED when not locked).
SVCP_PLATFORM_API HRESULT WINAPI SafeArrayAccessData(SAFEARRAY* psa, void** ppvData);
SVCP_PLATFORM_API HRESULT WINAPI SafeArrayUnaccessData(SAFEARRAY* psa);

}  // extern "C"
