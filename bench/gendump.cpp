// gendump: writes a large dump from a compact description (see
// bench/dump_generator.h), in constant memory.
//
//     gendump [--block-size N] [--scale F | --data-mib N] <description> <output.dump>
//
// --block-size replaces the description's block size; --scale multiplies
// every row count; --data-mib scales the row counts so that the data pages
// take about N MiB. Exit codes: 0 written, 1 bad description, 2 bad
// arguments or the dump could not be written.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "bench/dump_generator.h"

int main(int argc, char **argv) {
    int kb = 0;
    double scale = 0, data_mib = 0;
    int arg = 1;
    for (; arg + 1 < argc && argv[arg][0] == '-' && argv[arg][1] == '-'; arg += 2) {
        const std::string option = argv[arg];
        if (option == "--block-size")
            kb = std::atoi(argv[arg + 1]);
        else if (option == "--scale")
            scale = std::atof(argv[arg + 1]);
        else if (option == "--data-mib")
            data_mib = std::atof(argv[arg + 1]);
        else
            break;
    }
    if (argc - arg != 2) {
        std::fprintf(stderr, "usage: gendump [--block-size N] [--scale F | --data-mib N] <description> <output.dump>\n");
        return 2;
    }
    std::ifstream in(argv[arg]);
    if (!in) {
        std::fprintf(stderr, "gendump: cannot read %s\n", argv[arg]);
        return 2;
    }
    benchgen::Description d;
    std::string error;
    if (!benchgen::ParseDescription(in, d, error)) {
        std::fprintf(stderr, "gendump: %s: %s\n", argv[arg], error.c_str());
        return 1;
    }
    if (kb != 0) d.kb = kb;
    if (scale > 0) benchgen::ScaleRows(d, scale);
    if (data_mib > 0) {
        const double estimate = static_cast<double>(benchgen::EstimateDataBytes(d));
        if (estimate > 0) benchgen::ScaleRows(d, data_mib * 1048576.0 / estimate);
    }
    benchgen::Written w;
    if (!benchgen::WriteDump(d, argv[arg + 1], w, error)) {
        std::fprintf(stderr, "gendump: %s\n", error.c_str());
        return 2;
    }
    std::printf("gendump: wrote %s: %llu bytes, %d KiB pages, %llu rows, %llu data pages, %llu text pages\n",
                argv[arg + 1], static_cast<unsigned long long>(w.bytes), d.kb,
                static_cast<unsigned long long>(w.rows), static_cast<unsigned long long>(w.data_pages),
                static_cast<unsigned long long>(w.text_pages));
    return 0;
}
