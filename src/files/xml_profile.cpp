#include "files/xml_profile.hpp"

#include "core/errors.hpp"
#include "core/format.hpp"
#include "files/profile_files.hpp"

namespace vornax::xml {

namespace {

std::string_view local_name(const char* full) {
  std::string_view n(full);
  const size_t colon = n.rfind(':');
  return colon == std::string_view::npos ? n : n.substr(colon + 1);
}

}  // namespace

void parse(pugi::xml_document& doc, std::string_view bytes, const std::string& name) {
  const pugi::xml_parse_result r = doc.load_buffer(bytes.data(), bytes.size());
  if (!r)
    throw FormatError(name + ": not a readable XML document (" + r.description() +
                      " at offset " + std::to_string(r.offset) + ")");
}

pugi::xml_node find(pugi::xml_node node, std::string_view tag) {
  if (!node) return {};
  if (node.type() == pugi::node_element && local_name(node.name()) == tag) return node;
  // Iterative walk: a deeply nested document must not exhaust the stack.
  for (pugi::xml_node n = node.first_child(); n;) {
    if (n.type() == pugi::node_element && local_name(n.name()) == tag) return n;
    if (n.first_child()) {
      n = n.first_child();
      continue;
    }
    while (n && n != node && !n.next_sibling()) n = n.parent();
    if (!n || n == node) break;
    n = n.next_sibling();
  }
  return {};
}

std::vector<pugi::xml_node> find_all(pugi::xml_node node, std::string_view tag) {
  std::vector<pugi::xml_node> out;
  if (!node) return out;
  for (pugi::xml_node n = node.first_child(); n;) {
    if (n.type() == pugi::node_element && local_name(n.name()) == tag) out.push_back(n);
    if (n.first_child()) {
      n = n.first_child();
      continue;
    }
    while (n && n != node && !n.next_sibling()) n = n.parent();
    if (!n || n == node) break;
    n = n.next_sibling();
  }
  return out;
}

std::optional<double> number(std::string_view text) {
  const std::string t = trim(std::string(text));
  if (t.empty()) return std::nullopt;
  return parse_real(t);
}

std::vector<double> numbers(std::string_view text, const std::string& name, std::string_view what) {
  std::vector<double> out;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    if (!append_numbers(text.substr(pos, end - pos), out, name))
      throw FormatError(name + ": " + std::string(what) + " holds something that is not a number");
    pos = end + 1;
  }
  return out;
}

}  // namespace vornax::xml
