// The command line: `j3 VERB ...` runs headless over the same core and never
// touches the preferences. Errors go to standard error with a non-zero exit.
#pragma once

#include <string>
#include <vector>

namespace j3 {

// argv[1] is the verb. Returns the process exit status.
int run_cli(int argc, char** argv);

// Whether a first argument asks for the command line: a verb, "help", or an
// option (it starts with "-"). Anything else names a file for the window.
bool is_cli_argument(const char* first);

// A verb mistyped: a first argument that is no existing path and has no
// extension, followed by an option (`j3 recieve --from 2 -o out`). It is no
// file for the window: run_cli names it an unknown command.
bool is_mistyped_verb(int argc, char** argv);

// One function a verb; args exclude the program name and the verb.
int ports_command(const std::vector<std::string>& args);
int send_command(const std::vector<std::string>& args);
int turbo_command(const std::vector<std::string>& args);
int receive_command(const std::vector<std::string>& args);
int identify_command(const std::vector<std::string>& args);
int info_command(const std::vector<std::string>& args);
int convert_command(const std::vector<std::string>& args);
int waveform_command(const std::vector<std::string>& args);
int list_command(const std::vector<std::string>& args);

}  // namespace j3
