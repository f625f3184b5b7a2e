// Scratch files for the log-file tests: a fresh folder per test, read back byte for byte.
#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

class ScratchFolder {
  public:
    ScratchFolder() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = std::filesystem::temp_directory_path() /
               (std::string("pelkan-") + info->test_suite_name() + "-" + info->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    ~ScratchFolder() {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  private:
    std::filesystem::path dir_;
};

inline std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}
