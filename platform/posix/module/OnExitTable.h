// The module's table of exit functions (_onexit), internal to svcp_module_crt.
#pragma once

namespace svcp_module {

// Called by the module's SvcpModuleEntry at load: the table will be run by
// the entry's destructor instead of at process exit.
void AttachToModuleEntry();
// Runs the registered functions in reverse order of registration, each once.
void RunOnExitTable();

}  // namespace svcp_module
