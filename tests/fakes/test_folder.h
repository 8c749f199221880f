// A folder of its own for each test, removed afterwards, and a writer of
// small files into it.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace j3::testing {

struct TestFolder : ::testing::Test {
    void SetUp() override;
    void TearDown() override;

    // Writes bytes to dir/name and returns the path.
    std::string write(const std::string& name, std::string_view bytes) const;
    std::string write(const std::string& name, const std::vector<uint8_t>& bytes) const;

    std::filesystem::path dir;
};

}  // namespace j3::testing
