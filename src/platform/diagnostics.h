// Where the core's diagnostic lines go, and how numbers are printed in them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tallowmere {

class DiagnosticSink {
  public:
    virtual ~DiagnosticSink() = default;
    virtual void log(std::string_view line) = 0;
};

// The program's default: the lines reach nobody.
class DiscardingDiagnosticSink final : public DiagnosticSink {
  public:
    void log(std::string_view) override {}
};

// Keeps every line, for tests and for a debug log.
class CapturingDiagnosticSink final : public DiagnosticSink {
  public:
    void log(std::string_view line) override { lines.emplace_back(line); }
    std::vector<std::string> lines;
};

// Shortest round-trip form with at least one digit after the point: 1440.0, 0.3333333333333333,
// inf, -inf, nan.
std::string formatDouble(double value);

// Builds a line from literal pieces and values: doubles as formatDouble, integers in decimal.
class DiagLine {
  public:
    DiagLine& operator<<(std::string_view text) {
        text_ += text;
        return *this;
    }
    DiagLine& operator<<(const char* text) { return *this << std::string_view(text); }
    DiagLine& operator<<(double value) {
        text_ += formatDouble(value);
        return *this;
    }
    DiagLine& operator<<(std::int64_t value) {
        text_ += std::to_string(value);
        return *this;
    }
    DiagLine& operator<<(int value) { return *this << static_cast<std::int64_t>(value); }
    DiagLine& operator<<(std::size_t value) {
        text_ += std::to_string(value);
        return *this;
    }
    const std::string& str() const { return text_; }

  private:
    std::string text_;
};

}  // namespace tallowmere
