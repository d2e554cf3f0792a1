#pragma once
// Reads the one-object-per-line JSON that kestrum-cli prints: flat objects of
// strings, numbers, booleans and nulls. Values come back as text; strings unescaped.

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kestrum::test {

using FlatObject = std::map<std::string, std::optional<std::string>>;  // nullopt = null

// False when the line is not such an object.
bool ParseFlatObject(const std::string& line, FlatObject& out);
std::vector<FlatObject> ParseJsonLines(const std::string& text);

}  // namespace kestrum::test
