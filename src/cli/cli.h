// The command line: `j3 VERB ...` runs headless over the same core and never
// touches the preferences. Errors go to standard error with a non-zero exit.
#pragma once

#include <string>
#include <vector>

#include "engine/outcomes.h"

namespace j3 {

// argv[1] is the verb. Returns the process exit status: exit_status() of the
// verb's ending.
int run_cli(int argc, char** argv);

// Whether a first argument asks for the command line: a verb, "help", or an
// option (it starts with "-"). Anything else names a file for the window.
bool is_cli_argument(const char* first);

// A verb mistyped: a first argument that is no existing path and has no
// extension, followed by an option (`j3 recieve --from 2 -o out`). It is no
// file for the window: run_cli names it an unknown command.
bool is_mistyped_verb(int argc, char** argv);

// One function a verb; args exclude the program name and the verb. Each has
// said what it had to by the time it returns its ending.
VerbOutcome ports_command(const std::vector<std::string>& args);
VerbOutcome send_command(const std::vector<std::string>& args);
VerbOutcome turbo_command(const std::vector<std::string>& args);
VerbOutcome receive_command(const std::vector<std::string>& args);
VerbOutcome identify_command(const std::vector<std::string>& args);
VerbOutcome info_command(const std::vector<std::string>& args);
VerbOutcome convert_command(const std::vector<std::string>& args);
VerbOutcome waveform_command(const std::vector<std::string>& args);
VerbOutcome list_command(const std::vector<std::string>& args);

}  // namespace j3
