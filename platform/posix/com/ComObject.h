// Reference counting and QueryInterface shared by the provider's objects.
#pragma once

#include <atomic>

#include "ComTrace.h"

namespace svcp {

// An object that implements one interface. Created with one reference, it
// deletes itself when Release brings the count to zero. AddRef and Release
// are traced as "<interface>::AddRef() = <count>".
template <class Interface>
class ComObject : public Interface {
public:
    ComObject(const char* name, const IID& iid) : m_pName(name), m_iid(iid) {
        CountLive(ComLive::Objects, 1);
    }
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override {
        if (ppvObject == nullptr) {
            return E_POINTER;
        }
        if (riid == IID_IUnknown || riid == m_iid) {
            AddRef();
            *ppvObject = static_cast<Interface*>(this);
            return S_OK;
        }
        *ppvObject = nullptr;
        return E_NOINTERFACE;
    }

    ULONG STDMETHODCALLTYPE AddRef() override {
        const ULONG count = m_nReferences.fetch_add(1, std::memory_order_relaxed) + 1;
        ComTrace("%s::AddRef() = %u", m_pName, count);
        return count;
    }

    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG count = m_nReferences.fetch_sub(1, std::memory_order_acq_rel) - 1;
        ComTrace("%s::Release() = %u", m_pName, count);
        if (count == 0) {
            delete this;
        }
        return count;
    }

    const char* InterfaceName() const { return m_pName; }

protected:
    virtual ~ComObject() { CountLive(ComLive::Objects, -1); }

private:
    const char* const m_pName;
    const IID& m_iid;
    std::atomic<ULONG> m_nReferences{1};
};

}  // namespace svcp
