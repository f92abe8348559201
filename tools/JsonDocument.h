// Reading a JSON document strictly: syntax errors with line and column, no
// duplicate fields, bounded nesting and size.
#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <string>

namespace mivora::tool {

// The deepest nesting of arrays and objects accepted.
constexpr size_t MaxJsonDepth = 64;

// Parses Text as one JSON value. Label names the document in messages
// ("layout.json"). Raises EInputError "Label:line:column: ..." on a syntax
// error, and "Label: path: ..." for a field given twice or nesting too deep.
nlohmann::json ParseJsonDocument(const std::string& Text, const std::string& Label);

// A path into a document as written in messages: "commands[3].font.height".
std::string JsonPathJoin(const std::string& Parent, const std::string& Key);
std::string JsonPathIndex(const std::string& Parent, size_t Index);

} // namespace mivora::tool
