// Runs `j3 ARGS...` in the test's own process, as a user would from a shell,
// and keeps what it printed.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli.h"

namespace j3::testing {

struct CliRun {
    int status = -1;
    std::string out, err;
};

inline CliRun run_j3(std::vector<std::string> args) {
    args.insert(args.begin(), "j3");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const int status = run_cli(int(argv.size()), argv.data());
    std::fflush(stdout);
    std::fflush(stderr);
    CliRun r{status, ::testing::internal::GetCapturedStdout(),
             ::testing::internal::GetCapturedStderr()};
    return r;
}

}  // namespace j3::testing
