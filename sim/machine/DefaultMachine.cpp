#include "DefaultMachine.h"

#include "MachineParser.h"

namespace svcpsim {

bool LoadMachine(const std::string& path, MachineDescription* machine, std::string* error) {
    if (path.empty()) {
        return ParseMachineDescription(DefaultMachineText(), kDefaultMachineOrigin, "", machine,
                                       error);
    }
    return LoadMachineDescription(path, machine, error);
}

}  // namespace svcpsim
