// Reading the preferences file's JSON text into a document without trusting its shape: nesting is
// bounded, and a number too large for a double costs only that number.
#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <variant>

namespace tallowmere {

// Insertion order is kept so that a hand-edited file keeps its layout across saves.
using PrefsJson = nlohmann::ordered_json;

// Objects and arrays nested deeper than this (the top level counts as 1) make a text unusable:
// every later step that walks the document (conversion, comparison, saving) recurses, and this
// keeps each of them far from the end of the stack.
constexpr std::size_t kMaxJsonNesting = 100;

// The document, or why the text is unusable (one short phrase). A number beyond the range of a
// double reads as an infinity of its sign, which the store already treats as a value it cannot
// write; a number too small for one reads as 0 or the nearest subnormal.
std::variant<PrefsJson, std::string> readJsonDocument(std::string_view text);

}  // namespace tallowmere
