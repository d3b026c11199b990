// Prints the version stamp a svcproc library file carries in its data, so
// that a deployed library can be identified without loading it.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <path to libsvcproc.so or svcproc.dll>\n", argv[0]);
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    if (!file) {
        std::fprintf(stderr, "%s: cannot open %s\n", argv[0], argv[1]);
        return 1;
    }
    const std::string bytes((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
    const std::string marker = "~~~";
    const size_t start = bytes.find(marker + "Quillon SP Version ");
    const size_t end = start == std::string::npos ? start : bytes.find(marker, start + 3);
    if (end == std::string::npos) {
        std::fprintf(stderr, "%s: no version stamp in %s\n", argv[0], argv[1]);
        return 1;
    }
    const std::string stamp = bytes.substr(start + 3, end - start - 3);
    std::printf("%s: %s\n", argv[1], stamp.c_str());
    return 0;
}
