// The table sources: fixed bytes, a file, none.
#include <cstdio>

#include "TableSource.h"

namespace svcp {
namespace {

class FixedTableSource final : public SmbiosTableSource {
public:
    explicit FixedTableSource(std::vector<uint8_t> table) : m_vTable(std::move(table)) {}
    bool Read(std::vector<uint8_t>* table) override {
        try {
            *table = m_vTable;
        } catch (...) {
            return false;
        }
        return true;
    }

private:
    const std::vector<uint8_t> m_vTable;
};

class FileTableSource final : public SmbiosTableSource {
public:
    explicit FileTableSource(std::string path) : m_path(std::move(path)) {}
    bool Read(std::vector<uint8_t>* table) override {
        std::FILE* file = std::fopen(m_path.c_str(), "rb");
        if (file == nullptr) {
            return false;
        }
        bool ok = true;
        try {
            table->clear();
            uint8_t chunk[4096];
            size_t got = 0;
            while ((got = std::fread(chunk, 1, sizeof(chunk), file)) != 0) {
                table->insert(table->end(), chunk, chunk + got);
            }
            ok = std::ferror(file) == 0;
        } catch (...) {
            ok = false;
        }
        std::fclose(file);
        return ok;
    }

private:
    const std::string m_path;
};

class NoInstanceSource final : public SmbiosTableSource {
public:
    bool Read(std::vector<uint8_t>*) override { return false; }
};

}  // namespace

std::shared_ptr<SmbiosTableSource> MakeFixedTableSource(std::vector<uint8_t> table) {
    return std::make_shared<FixedTableSource>(std::move(table));
}

std::shared_ptr<SmbiosTableSource> MakeFileTableSource(std::string path) {
    return std::make_shared<FileTableSource>(std::move(path));
}

std::shared_ptr<SmbiosTableSource> MakeNoInstanceSource() {
    return std::make_shared<NoInstanceSource>();
}

}  // namespace svcp
