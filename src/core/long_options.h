#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "system_error.h"

namespace chronvane {

// How both programs read their long options, so that "--name VALUE" and
// "--name=VALUE", a missing value and a near miss read the same in either.

// An option that takes a value, in the table of one program's options (Options
// is where its values go).
template <typename Options>
struct ValueOption {
    std::string_view name;  // with its dashes: "--device"
    // The error when nothing follows "--name".
    const char* missing;
    // Takes the value into the options; the error line when it makes no sense.
    ProblemLine (*apply)(std::string_view value, Options& options);
};

// What reading one argument against such a table came to.
struct ValueOptionRead {
    bool matched = false;  // the argument is one of the table's
    std::string error;     // matched, but refused: the line saying why
};

// Reads args[i] as one of table's options, in either form; a value in the next
// argument moves i on to it. Not matched: args[i] is none of them.
template <typename Options, std::size_t n>
ValueOptionRead readValueOption(const std::vector<std::string>& args, std::size_t& i,
                                const std::array<ValueOption<Options>, n>& table,
                                Options& options) {
    const std::string_view arg = args[i];
    for (const ValueOption<Options>& option : table) {
        if (!arg.starts_with(option.name) ||
            (arg.size() != option.name.size() && arg[option.name.size()] != '=')) {
            continue;
        }
        std::string_view value;
        if (arg.size() > option.name.size()) {
            value = arg.substr(option.name.size() + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            return {true, option.missing};
        }
        return {true, option.apply(value, options)};
    }
    return {};
}

// The option the operator most likely meant by a name not known, as it is
// written ("--device", "-com1"), among the candidates considered: at most two
// edits away (an insert, a delete, a replace, a swap of neighbours), or one whose
// start the name is (3 letters or more); the nearest wins, the first of equals.
class ClosestOption {
  public:
    // name: as written, without its dashes.
    explicit ClosestOption(std::string_view name) : m_name(name) {}
    // candidate without its dashes; dashes: how it is written before it.
    void consider(std::string_view candidate, std::string_view dashes);
    // Empty when none came close.
    const std::string& best() const { return m_best; }

  private:
    std::string m_name;
    std::string m_best;
    std::size_t m_bestDistance = 3;
};

// "ARG: unknown option", with ", did you mean CLOSEST?" when there is one.
std::string unknownOptionText(std::string_view arg, std::string_view closest);

}  // namespace chronvane
