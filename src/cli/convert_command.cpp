#include <cstdio>

#include "cli/cli.h"

namespace j3 {

int convert_command(const std::vector<std::string>&) {
    std::fprintf(stderr, "j3 convert: not available in this build yet\n");
    return 1;
}

}  // namespace j3
