#include "AllocationSeam.h"

#include <cstdlib>
#include <new>

namespace {

// Plain thread_local PODs: usable before any constructor and in any thread.
thread_local std::size_t t_nAttempts = 0;
thread_local std::size_t t_nFailAt = 0;  // 0 never; attempts number from 1
thread_local bool t_bFailAll = false;
thread_local bool t_bFailed = false;

bool ShouldFail() {
    ++t_nAttempts;
    if (t_bFailAll || t_nAttempts == t_nFailAt) {
        t_bFailed = true;
        return true;
    }
    return false;
}

void* Allocate(std::size_t size) {
    if (ShouldFail()) {
        return nullptr;
    }
    return std::malloc(size == 0 ? 1 : size);
}

}  // namespace

namespace alloc_seam {

void FailNth(std::size_t n) {
    t_nAttempts = 0;
    t_nFailAt = n;
    t_bFailAll = false;
    t_bFailed = false;
}

void FailAll() {
    t_nAttempts = 0;
    t_nFailAt = 0;
    t_bFailAll = true;
    t_bFailed = false;
}

void Disarm() {
    t_nAttempts = 0;
    t_nFailAt = 0;
    t_bFailAll = false;
}

std::size_t Attempts() {
    return t_nAttempts;
}

bool Failed() {
    return t_bFailed;
}

}  // namespace alloc_seam

void* operator new(std::size_t size) {
    void* block = Allocate(size);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return block;
}

void* operator new[](std::size_t size) {
    return operator new(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}

void operator delete(void* block) noexcept {
    std::free(block);
}

void operator delete[](void* block) noexcept {
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}

void operator delete[](void* block, std::size_t) noexcept {
    std::free(block);
}

void operator delete(void* block, const std::nothrow_t&) noexcept {
    std::free(block);
}

void operator delete[](void* block, const std::nothrow_t&) noexcept {
    std::free(block);
}
