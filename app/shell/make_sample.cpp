// Build step: writes the first-run sample clip into the distribution.
#include <cstdio>
#include <string>

#include "app/shell/sample_clip.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_sample OUTPUT.avi\n");
        return 2;
    }
    std::string error;
    if (!veltro::writeSampleClip(argv[1], &error)) {
        std::fprintf(stderr, "make_sample: %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    return 0;
}
