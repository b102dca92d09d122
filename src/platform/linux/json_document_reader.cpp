#include "platform/linux/json_document_reader.h"

#include <locale.h>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <utility>
#include <vector>

namespace tallowmere {
namespace {

using Json = PrefsJson;

// The exact grammar of a JSON number; strtod accepts more ("+1", "01", ".5").
bool isJsonNumber(std::string_view token) {
    std::size_t i = 0;
    const auto digits = [&] {
        const std::size_t from = i;
        while (i < token.size() && token[i] >= '0' && token[i] <= '9') {
            ++i;
        }
        return i > from;
    };
    if (i < token.size() && token[i] == '-') {
        ++i;
    }
    if (i < token.size() && token[i] == '0') {
        ++i;
    } else if (i >= token.size() || token[i] < '1' || token[i] > '9' || !digits()) {
        return false;
    }
    if (i < token.size() && token[i] == '.' && (++i, !digits())) {
        return false;
    }
    if (i < token.size() && (token[i] == 'e' || token[i] == 'E')) {
        ++i;
        if (i < token.size() && (token[i] == '+' || token[i] == '-')) {
            ++i;
        }
        if (!digits()) {
            return false;
        }
    }
    return i == token.size();
}

// Parsed in the C locale whatever the program's: a Qt program adopts the user's LC_NUMERIC.
bool overflowsDouble(const std::string& token) {
    static const locale_t cLocale = ::newlocale(LC_ALL_MASK, "C", locale_t{});
    return std::isinf(::strtod_l(token.c_str(), nullptr, cLocale));
}

struct Overflow {
    std::size_t numberIndex;  // counting every number of the text, in order
    bool negative;
};

// The JSON parser refuses a whole text for one number beyond a double. Such numbers are replaced
// by 0 and remembered by their position among all the text's numbers, which is also the order in
// which the parser reports numbers. Outside strings every run of these characters is one number
// (the literals true, false and null hold none), so the count matches for any text that parses.
std::string replaceOverflowingNumbers(std::string_view text, std::vector<Overflow>& overflows) {
    constexpr std::string_view kNumberChars = "0123456789+-.eE";
    std::string patched;
    std::size_t copiedUpTo = 0, numberIndex = 0;
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == '"') {
            for (++i; i < text.size() && text[i] != '"'; ++i) {
                i += text[i] == '\\' ? 1 : 0;
            }
            ++i;
            continue;
        }
        if (text[i] != '-' && (text[i] < '0' || text[i] > '9')) {
            ++i;
            continue;
        }
        const std::size_t end = std::min(text.find_first_not_of(kNumberChars, i), text.size());
        const std::string token(text.substr(i, end - i));
        if (isJsonNumber(token) && overflowsDouble(token)) {
            overflows.push_back({numberIndex, token.front() == '-'});
            patched.append(text.substr(copiedUpTo, i - copiedUpTo)).append("0");
            copiedUpTo = end;
        }
        ++numberIndex;
        i = end;
    }
    if (overflows.empty()) {
        return std::string(text);
    }
    return patched.append(text.substr(copiedUpTo));
}

// Builds the document as the parser reports it, without recursion, refusing to go deeper than
// kMaxJsonNesting and putting the remembered infinities back in their places.
class DocumentBuilder final : public nlohmann::json_sax<Json> {
  public:
    explicit DocumentBuilder(std::vector<Overflow> overflows) : overflows_(std::move(overflows)) {}

    bool null() override { return place(nullptr); }
    bool boolean(bool value) override { return place(value); }
    bool number_integer(number_integer_t value) override { return number(value); }
    bool number_unsigned(number_unsigned_t value) override { return number(value); }
    bool number_float(number_float_t value, const string_t&) override { return number(value); }
    bool string(string_t& value) override { return place(std::move(value)); }
    bool binary(binary_t& value) override { return place(Json::binary(std::move(value))); }
    bool start_object(std::size_t) override { return open(Json::object()); }
    bool key(string_t& name) override {
        member_ = &(*open_.back())[name];
        return true;
    }
    bool end_object() override { return close(); }
    bool start_array(std::size_t) override { return open(Json::array()); }
    bool end_array() override { return close(); }
    bool parse_error(std::size_t, const std::string&,
                     const nlohmann::detail::exception& error) override {
        // "[json.exception.parse_error.101] parse error at line 1, column 8: ..." without the tag.
        const std::string_view what = error.what();
        const auto tagEnd = what.find("] ");
        why_ = tagEnd == std::string_view::npos ? what : what.substr(tagEnd + 2);
        return false;
    }

    Json& document() { return document_; }
    const std::string& why() const { return why_; }

  private:
    template <typename T>
    bool number(T value) {
        if (next_ < overflows_.size() && overflows_[next_].numberIndex == numbersSeen_) {
            const double infinity = std::numeric_limits<double>::infinity();
            ++numbersSeen_;
            return place(overflows_[next_++].negative ? -infinity : infinity);
        }
        ++numbersSeen_;
        return place(value);
    }

    Json* put(Json&& value) {
        if (open_.empty()) {
            document_ = std::move(value);
            return &document_;
        }
        Json& parent = *open_.back();
        if (parent.is_array()) {
            parent.push_back(std::move(value));
            return &parent.back();
        }
        *member_ = std::move(value);
        return member_;
    }
    bool place(Json value) {
        put(std::move(value));
        return true;
    }
    bool open(Json container) {
        if (open_.size() >= kMaxJsonNesting) {
            why_ = "nested deeper than " + std::to_string(kMaxJsonNesting) + " levels";
            return false;
        }
        // Only the innermost open container grows, so the pointers to the outer ones stay valid.
        open_.push_back(put(std::move(container)));
        return true;
    }
    bool close() {
        open_.pop_back();
        return true;
    }

    std::vector<Overflow> overflows_;
    std::size_t next_ = 0, numbersSeen_ = 0;
    Json document_;
    std::vector<Json*> open_;
    Json* member_ = nullptr;
    std::string why_;
};

}  // namespace

std::variant<PrefsJson, std::string> readJsonDocument(std::string_view text) {
    std::vector<Overflow> overflows;
    const std::string patched = replaceOverflowingNumbers(text, overflows);
    DocumentBuilder builder(std::move(overflows));
    if (!Json::sax_parse(patched, &builder)) {
        return builder.why().empty() ? std::string("not JSON") : builder.why();
    }
    return std::move(builder.document());
}

}  // namespace tallowmere
