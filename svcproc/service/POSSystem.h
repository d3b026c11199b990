// The process-wide holder of the machine's BIOS version text, which tells the
// machine family.
#pragma once

#include <string>

class CPOSSystem {
public:
    // The one instance, created empty on first use and destroyed when the
    // library is unloaded (before the service manager). Throws
    // std::bad_alloc when it cannot be created; a later call tries again.
    // Not locked: the first call happens during start-up, which is serialised,
    // before any other user can call it.
    static CPOSSystem& GetInstance();

    // True when the version text begins with exactly these two characters
    // (case-sensitive); false for texts shorter than two characters.
    bool IsBios8D() const;
    bool IsBios84() const;
    bool IsBios85() const;

    // The SMBIOS Type 0 BIOS version, byte for byte; written by start-up only.
    std::string m_sBiosVersion;

    CPOSSystem(const CPOSSystem&) = delete;
    CPOSSystem& operator=(const CPOSSystem&) = delete;

private:
    CPOSSystem() = default;
    ~CPOSSystem() = default;

    bool BeginsWith(const char (&family)[3]) const;

    friend int DestroyPOSSystem();
    static CPOSSystem* s_pInstance;
};
