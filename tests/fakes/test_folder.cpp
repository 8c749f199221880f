#include "fakes/test_folder.h"

#include <fstream>
#include <random>

namespace j3::testing {

namespace fs = std::filesystem;

void TestFolder::SetUp() {
    // Unique across test programs that ctest runs side by side.
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    dir = fs::temp_directory_path() / ("j3-" + std::to_string(std::random_device{}()) + "-" +
                                       test->test_suite_name() + "-" + test->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
}

void TestFolder::TearDown() {
    fs::remove_all(dir);
}

std::string TestFolder::write(const std::string& name, std::string_view bytes) const {
    const fs::path p = dir / name;
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    return p.string();
}

std::string TestFolder::write(const std::string& name, const std::vector<uint8_t>& bytes) const {
    return write(name, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

}  // namespace j3::testing
