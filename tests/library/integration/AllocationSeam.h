// A test binary's replacement of the global operator new that can be told to
// fail: the Nth allocation from now on the calling thread, or every one.
// Other threads are never affected. Linked into one test binary only; the
// library loaded by that binary allocates through it too.
#pragma once

#include <cstddef>

namespace alloc_seam {

// The Nth allocation (1 for the next) on this thread throws std::bad_alloc,
// or returns null for the nothrow forms; later ones succeed again.
void FailNth(std::size_t n);
// Every allocation on this thread fails until Disarm.
void FailAll();
void Disarm();
// Allocations attempted on this thread since the last FailNth, FailAll or
// Disarm.
std::size_t Attempts();
// True when an armed failure has been handed out since the last arming.
bool Failed();

}  // namespace alloc_seam
