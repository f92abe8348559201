// What the table of commands says about itself: the JSON Schema of layouts,
// the command reference of docs/layout-format.md, and `mivora commands`.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

namespace mivora::tool {

// The JSON Schema (draft 2020-12) of layout files; docs/layout.schema.json is
// this, written with two-space indentation and a final line break.
nlohmann::json LayoutSchema();

// The schema as docs/layout.schema.json holds it.
std::string LayoutSchemaText();

// The command reference in Markdown: one table per group of commands. The
// reference in docs/layout-format.md is this text.
std::string CommandReference();

// `mivora commands`: every command with its one-line description; with a Name,
// that command's fields (type, default, bounds, description). Raises
// EInputError for a name that is no command.
std::string CommandListing(const std::string& Name);

} // namespace mivora::tool
