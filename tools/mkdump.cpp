// mkdump: writes a dump file from a text description.
//
//     mkdump <description.txt> <output.dump>
//
// The description format is documented in tests/support/dump_description.h;
// examples/sample.dump.txt is a sample. Exit codes: 0 written, 1 bad
// description, 2 bad arguments or the dump could not be written.
#include <cstdio>
#include <exception>
#include <fstream>
#include <string>

#include "tests/support/dump_description.h"

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: mkdump <description.txt> <output.dump>\n");
        return 2;
    }
    std::ifstream in(argv[1]);
    if (!in) {
        std::fprintf(stderr, "mkdump: cannot read %s\n", argv[1]);
        return 2;
    }
    try {
        std::string error;
        auto dump = dumpwriter::ReadDescription(in, error);
        if (!dump) {
            std::fprintf(stderr, "mkdump: %s: %s\n", argv[1], error.c_str());
            return 1;
        }
        if (!dump->write_file(argv[2])) {
            std::fprintf(stderr, "mkdump: cannot write %s\n", argv[2]);
            return 2;
        }
        std::printf("mkdump: wrote %s (%lld bytes, %d KiB pages)\n", argv[2],
                    static_cast<long long>(dump->size()), dump->kb());
        return 0;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "mkdump: %s: %s\n", argv[1], e.what());
        return 1;
    }
}
