// A base for the objects that own a thread, handles or a buffer: copying one
// would share what it owns, so none can be copied or assigned.
#pragma once

class CNonCopyable {
public:
    CNonCopyable(const CNonCopyable&) = delete;
    CNonCopyable& operator=(const CNonCopyable&) = delete;

protected:
    CNonCopyable() = default;
    ~CNonCopyable() = default;
};
