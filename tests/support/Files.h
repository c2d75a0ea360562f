#pragma once
// Whole files read and written in one call, and folders made, for tests that set up or
// check what code under test reads or writes.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <ios>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace wvtest {

// Everything in a file, or nothing when it cannot be opened.
inline std::optional<std::string> ReadText(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Everything in a file; empty when it cannot be opened.
inline std::string ReadAll(const std::filesystem::path& path) { return ReadText(path).value_or(""); }

// The bytes of a file, or nothing when it cannot be opened.
inline std::optional<std::vector<uint8_t>> ReadBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Replaces a file's content (creating the file).
inline void WriteAll(const std::filesystem::path& path, std::string_view text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
}
inline void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& data)
{
    WriteAll(path, std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
}

// Creates a folder and the folders above it; returns its path.
inline std::filesystem::path MadeFolder(std::filesystem::path path)
{
    std::filesystem::create_directories(path);
    return path;
}

} // namespace wvtest
