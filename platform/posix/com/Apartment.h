// The calling thread's COM initialisation, for the stand-ins that need it.
#pragma once

namespace svcp {

// True when the calling thread has an unbalanced successful CoInitializeEx.
bool IsComInitialised();

}  // namespace svcp
