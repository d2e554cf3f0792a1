#pragma once
#include <string>

namespace kestrum::test {

// Hex SHA-256 of bytes, to compare copies with the manifests of the fixtures.
std::string Sha256Hex(const std::string& bytes);
std::string Sha256OfFile(const std::string& path);

}  // namespace kestrum::test
