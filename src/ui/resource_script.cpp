#include "resource_script.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <vector>

namespace chronvane {
namespace {

struct Token {
    enum class Kind { Word, Text, Comma, Bar, Open, Close } kind;
    std::string value;
};

struct Line {
    int number;
    std::vector<Token> tokens;
    std::string comment;  // the text after "//", trimmed
};

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

bool isWordCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '#' || c == '.' || c == '<' || c == '>';
}

// Splits one line into tokens. A string keeps "" as one quote, as the resource
// compiler reads it. Returns an error text, empty on success.
std::string tokenize(std::string_view text, Line& line) {
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
        } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '/') {
            line.comment = std::string(trimmed(text.substr(i + 2)));
            return {};
        } else if (c == '"') {
            std::string value;
            ++i;
            for (;;) {
                if (i >= text.size()) {
                    return "a text has no closing quote";
                }
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        value += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                value += text[i++];
            }
            line.tokens.push_back({Token::Kind::Text, std::move(value)});
        } else if (c == ',' || c == '|' || c == '(' || c == ')') {
            const Token::Kind kind = c == ','   ? Token::Kind::Comma
                                     : c == '|' ? Token::Kind::Bar
                                     : c == '(' ? Token::Kind::Open
                                                : Token::Kind::Close;
            line.tokens.push_back({kind, std::string(1, c)});
            ++i;
        } else if (c == '{' || c == '}') {
            line.tokens.push_back({Token::Kind::Word, c == '{' ? "BEGIN" : "END"});
            ++i;
        } else if (isWordCharacter(c)) {
            const std::size_t start = i;
            while (i < text.size() && isWordCharacter(text[i])) {
                ++i;
            }
            line.tokens.push_back({Token::Kind::Word, std::string(text.substr(start, i - start))});
        } else {
            return std::string("unexpected '") + c + "'";
        }
    }
    return {};
}

std::optional<int> parseInteger(std::string_view word) {
    bool negative = false;
    if (!word.empty() && word.front() == '-') {
        negative = true;
        word.remove_prefix(1);
    }
    int base = 10;
    if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
        base = 16;
        word.remove_prefix(2);
    }
    int value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value, base);
    if (word.empty() || error != std::errc() || end != word.data() + word.size()) {
        return std::nullopt;
    }
    return negative ? -value : value;
}

class Parser {
  public:
    Parser(std::string_view header, std::string_view script) {
        m_symbols = {{"IDOK", 1}, {"IDCANCEL", 2}};
        readDefines(header);
        readLines(script);
    }

    Parsed<ResourceScript> run() {
        if (!m_error.empty()) {
            return {std::nullopt, m_error};
        }
        ResourceScript script;
        while (m_next < m_lines.size() && m_error.empty()) {
            const Line& line = m_lines[m_next++];
            if (line.tokens.empty()) {
                continue;
            }
            const std::string& first = line.tokens[0].value;
            if (first == "STRINGTABLE") {
                readStringTable(script);
            } else if (line.tokens.size() >= 2 &&
                       (line.tokens[1].value == "DIALOG" || line.tokens[1].value == "DIALOGEX")) {
                readDialog(line, script);
            } else if (first == "BEGIN") {
                skipBlock();
            }
        }
        if (!m_error.empty()) {
            return {std::nullopt, m_error};
        }
        return {std::move(script), {}};
    }

  private:
    void readDefines(std::string_view header) {
        while (!header.empty()) {
            const auto end = header.find('\n');
            const std::string_view text = trimmed(header.substr(0, end));
            header.remove_prefix(end == std::string_view::npos ? header.size() : end + 1);
            if (!text.starts_with("#define")) {
                continue;
            }
            Line line{0, {}, {}};
            if (!tokenize(text.substr(7), line).empty() || line.tokens.empty()) {
                continue;
            }
            if (line.tokens.size() == 2 && line.tokens[1].kind == Token::Kind::Text) {
                m_strings[line.tokens[0].value] = line.tokens[1].value;
                continue;
            }
            std::string value;
            for (std::size_t i = 1; i < line.tokens.size(); ++i) {
                if (line.tokens[i].kind == Token::Kind::Word) {
                    value += line.tokens[i].value;
                }
            }
            if (const auto number = parseInteger(value)) {
                m_symbols[line.tokens[0].value] = *number;
            }
        }
    }

    // Joins continued statements, so each Line holds one whole statement.
    void readLines(std::string_view script) {
        int number = 0;
        std::optional<Line> pending;
        while (!script.empty()) {
            const auto end = script.find('\n');
            const std::string_view text = script.substr(0, end);
            script.remove_prefix(end == std::string_view::npos ? script.size() : end + 1);
            ++number;
            if (trimmed(text).starts_with("#")) {
                continue;
            }
            Line line{number, {}, {}};
            if (const std::string error = tokenize(text, line); !error.empty()) {
                fail(number, error);
                return;
            }
            if (pending) {
                pending->tokens.insert(pending->tokens.end(), line.tokens.begin(),
                                       line.tokens.end());
                if (!line.comment.empty()) {
                    pending->comment = line.comment;
                }
            } else {
                pending = std::move(line);
            }
            const bool continues =
                !pending->tokens.empty() && (pending->tokens.back().kind == Token::Kind::Comma ||
                                             pending->tokens.back().kind == Token::Kind::Bar);
            if (!continues) {
                m_lines.push_back(std::move(*pending));
                pending.reset();
            }
        }
        if (pending) {
            m_lines.push_back(std::move(*pending));
        }
    }

    void fail(int line, const std::string& what) {
        if (m_error.empty()) {
            m_error = "line " + std::to_string(line) + ": " + what;
        }
    }

    // The arguments of a statement, split at top-level commas.
    static std::vector<std::vector<Token>> arguments(const Line& line, std::size_t from) {
        std::vector<std::vector<Token>> result(1);
        for (std::size_t i = from; i < line.tokens.size(); ++i) {
            if (line.tokens[i].kind == Token::Kind::Comma) {
                result.emplace_back();
            } else {
                result.back().push_back(line.tokens[i]);
            }
        }
        return result;
    }

    std::optional<int> number(const std::vector<Token>& argument) const {
        std::string word;
        for (const Token& token : argument) {
            if (token.kind == Token::Kind::Word) {
                word += token.value;
            } else if (token.kind != Token::Kind::Open && token.kind != Token::Kind::Close) {
                return std::nullopt;
            }
        }
        if (const auto found = m_symbols.find(word); found != m_symbols.end()) {
            return found->second;
        }
        return parseInteger(word);
    }

    void skipBlock() {
        int depth = 1;
        while (m_next < m_lines.size() && depth > 0) {
            const Line& line = m_lines[m_next++];
            if (!line.tokens.empty() && line.tokens[0].value == "BEGIN") {
                ++depth;
            } else if (!line.tokens.empty() && line.tokens[0].value == "END") {
                --depth;
            }
        }
    }

    void readStringTable(ResourceScript& script) {
        while (m_next < m_lines.size() && m_lines[m_next].tokens.empty()) {
            ++m_next;
        }
        if (m_next >= m_lines.size() || m_lines[m_next].tokens[0].value != "BEGIN") {
            fail(m_next < m_lines.size() ? m_lines[m_next].number : 0, "STRINGTABLE without BEGIN");
            return;
        }
        ++m_next;
        while (m_next < m_lines.size()) {
            const Line& line = m_lines[m_next++];
            if (line.tokens.empty()) {
                continue;
            }
            if (line.tokens[0].value == "END") {
                return;
            }
            std::vector<Token> idTokens;
            std::size_t i = 0;
            while (i < line.tokens.size() && line.tokens[i].kind != Token::Kind::Text &&
                   line.tokens[i].kind != Token::Kind::Comma) {
                idTokens.push_back(line.tokens[i++]);
            }
            if (i < line.tokens.size() && line.tokens[i].kind == Token::Kind::Comma) {
                ++i;
            }
            const auto id = number(idTokens);
            if (!id || i + 1 != line.tokens.size() || line.tokens[i].kind != Token::Kind::Text) {
                fail(line.number, "a string table entry is not: id \"text\"");
                return;
            }
            script.strings[*id] = line.tokens[i].value;
        }
        fail(m_lines.empty() ? 0 : m_lines.back().number, "STRINGTABLE without END");
    }

    void readDialog(const Line& head, ResourceScript& script) {
        const auto id = number({head.tokens[0]});
        const auto geometry = arguments(head, 2);
        if (!id || geometry.size() < 4) {
            fail(head.number, "a dialog needs an id and x, y, width, height");
            return;
        }
        ScriptDialog& dialog = script.dialogs[*id];
        dialog = ScriptDialog{};
        const auto width = number(geometry[2]);
        const auto height = number(geometry[3]);
        if (!width || !height) {
            fail(head.number, "the dialog's size is not a number");
            return;
        }
        dialog.layout.width = *width;
        dialog.layout.height = *height;
        dialog.layout.caption = dialog.texts.emplace_back().c_str();
        bool inside = false;
        while (m_next < m_lines.size()) {
            const Line& line = m_lines[m_next++];
            if (line.tokens.empty()) {
                continue;
            }
            const std::string& statement = line.tokens[0].value;
            if (!inside) {
                if (statement == "BEGIN") {
                    inside = true;
                } else if (statement == "CAPTION" && line.tokens.size() == 2 &&
                           line.tokens[1].kind == Token::Kind::Text) {
                    dialog.layout.caption = dialog.texts.emplace_back(line.tokens[1].value).c_str();
                }
                // STYLE, EXSTYLE and FONT are the platform dialog's business.
                continue;
            }
            if (statement == "END") {
                return;
            }
            if (!readControl(line, dialog)) {
                return;
            }
        }
        fail(head.number, "the dialog has no END");
    }

    bool readControl(const Line& line, ScriptDialog& dialog) {
        static const std::map<std::string, ControlKind, std::less<>> kinds = {
            {"LTEXT", ControlKind::Label},
            {"GROUPBOX", ControlKind::GroupBox},
            {"AUTORADIOBUTTON", ControlKind::RadioButton},
            {"PUSHBUTTON", ControlKind::PushButton},
            {"DEFPUSHBUTTON", ControlKind::DefaultButton},
            {"ICON", ControlKind::Icon},
        };
        auto args = arguments(line, 1);
        // CONTROL text, id, class, style, x, y, w, h: only the icon is written so.
        const bool generic = line.tokens[0].value == "CONTROL";
        if (generic) {
            const bool icon = args.size() >= 8 && args[2].size() == 1 &&
                              args[2][0].kind == Token::Kind::Text && args[2][0].value == "Static" &&
                              std::any_of(args[3].begin(), args[3].end(),
                                          [](const Token& t) { return t.value == "SS_ICON"; });
            if (!icon) {
                fail(line.number, "a CONTROL other than a \"Static\" SS_ICON");
                return false;
            }
            std::vector<Token> style = std::move(args[3]);
            args.erase(args.begin() + 2, args.begin() + 4);
            args.resize(6);
            args.push_back(std::move(style));
        }
        const auto kind = kinds.find(generic ? std::string("ICON") : line.tokens[0].value);
        if (kind == kinds.end()) {
            fail(line.number, "unknown control statement " + line.tokens[0].value);
            return false;
        }
        if (args.size() < 6) {
            fail(line.number, "a control needs text, id, x, y, width, height");
            return false;
        }
        std::string text;
        if (kind->second != ControlKind::Icon) {
            // Adjacent strings join, as the resource compiler's preprocessor has them,
            // and a symbol may stand for a string (the version comes in that way).
            bool quoted = !args[0].empty();
            for (const Token& part : args[0]) {
                const auto symbol = m_strings.find(part.value);
                if (part.kind == Token::Kind::Text) {
                    text += part.value;
                } else if (part.kind == Token::Kind::Word && symbol != m_strings.end()) {
                    text += symbol->second;
                } else {
                    quoted = false;
                }
            }
            if (!quoted) {
                fail(line.number, "a control's text is not a quoted string");
                return false;
            }
        }
        std::optional<int> values[5];
        for (std::size_t i = 0; i < 5; ++i) {
            values[i] = number(args[i + 1]);
            if (!values[i]) {
                fail(line.number, "argument " + std::to_string(i + 2) + " is not a number");
                return false;
            }
        }
        if (line.comment.empty() || line.comment.find(' ') != std::string::npos) {
            fail(line.number, "a control needs its name after //");
            return false;
        }
        bool groupStart = kind->second == ControlKind::Label;
        if (args.size() > 6) {
            const std::vector<Token>& style = args[6];
            for (std::size_t i = 0; i < style.size(); ++i) {
                if (style[i].value == "WS_GROUP") {
                    groupStart = !(i > 0 && style[i - 1].value == "NOT");
                }
            }
        }
        const int id = *values[0] < 0 ? 0 : *values[0];
        const char* name = dialog.texts.emplace_back(line.comment).c_str();
        const char* textPointer = dialog.texts.emplace_back(std::move(text)).c_str();
        dialog.layout.controls.push_back({id, kind->second, name, textPointer, *values[1],
                                          *values[2], *values[3], *values[4], groupStart});
        return true;
    }

    std::map<std::string, int, std::less<>> m_symbols;
    std::map<std::string, std::string, std::less<>> m_strings;
    std::vector<Line> m_lines;
    std::size_t m_next = 0;
    std::string m_error;
};

}  // namespace

Parsed<ResourceScript> parseResourceScript(std::string_view header, std::string_view script) {
    return Parser(header, script).run();
}

}  // namespace chronvane
