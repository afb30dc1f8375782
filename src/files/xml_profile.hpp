// Pieces shared by the XML profile readers (XRDML, and the XML inside BRML): parsing
// with a readable error, finding elements by name anywhere below a node, and numbers
// from element text or attributes.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

namespace vornax::xml {

// Parses `bytes` into `doc`; a malformed document is a FormatError naming the file.
void parse(pugi::xml_document& doc, std::string_view bytes, const std::string& name);

// First element called `tag` (namespace prefix ignored) at or below `node`, in
// document order; empty when none.
pugi::xml_node find(pugi::xml_node node, std::string_view tag);

// Every such element, in document order.
std::vector<pugi::xml_node> find_all(pugi::xml_node node, std::string_view tag);

// The number in a text ("1.5406", surrounding blanks allowed); none for anything else.
std::optional<double> number(std::string_view text);

// Blank-separated numbers of a text; FormatError at the first field that is not one
// or beyond the profile capacity.
std::vector<double> numbers(std::string_view text, const std::string& name, std::string_view what);

}  // namespace vornax::xml
