// The default table source: a simulator's table when one serves the device
// directory, else the host's.
#include "TableSource.h"
#include "socket_devices.h"

namespace svcp {
namespace {

class DefaultTableSource final : public SmbiosTableSource {
public:
    bool Read(std::vector<uint8_t>* table) override {
        const std::string directory = GetDeviceDirectory();
        if (!directory.empty() && ReadServedSmbiosTable(directory, table)) {
            return true;
        }
        return m_pHost->Read(table);
    }

private:
    const std::shared_ptr<SmbiosTableSource> m_pHost = MakeFileTableSource(kHostSmbiosTablePath);
};

}  // namespace

std::shared_ptr<SmbiosTableSource> MakeDefaultTableSource() {
    return std::make_shared<DefaultTableSource>();
}

}  // namespace svcp
