#pragma once

#include <array>
#include <cstddef>
#include <string>

namespace chronvane {

// The four lines the operator sees, oldest at index 0. Appending drops the oldest.
class MessageLog {
  public:
    static constexpr std::size_t lineCount = 4;
    using Lines = std::array<std::string, lineCount>;

    void append(std::string text);
    const Lines& lines() const { return m_lines; }
    const std::string& line(std::size_t index) const { return m_lines.at(index); }

  private:
    Lines m_lines{};
};

}  // namespace chronvane
