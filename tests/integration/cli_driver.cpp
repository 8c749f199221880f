// The command line without the window: `j3cli_driver VERB ...` is `j3 VERB ...`.
#include "cli/cli.h"

int main(int argc, char** argv) {
    return j3::run_cli(argc, argv);
}
