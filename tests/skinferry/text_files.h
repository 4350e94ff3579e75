// Whole files as strings, for the Skinferry runs and the stand-in tools.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace skinferry_test {

inline std::string ReadAll(const std::filesystem::path& path) {
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  if (error) return {};
  std::string bytes(static_cast<size_t>(size), '\0');
  std::ifstream in(path, std::ios::binary);
  in.read(bytes.data(), static_cast<std::streamsize>(size));
  bytes.resize(static_cast<size_t>(in.gcount()));
  return bytes;
}

inline void WriteAll(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

}  // namespace skinferry_test
