#pragma once
// Test helpers: a whole file's bytes as text, and a file written with its folders.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace parvello {

inline std::string read_file_text(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline void write_file_text(const std::filesystem::path& file, const std::string& text) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

}  // namespace parvello
