#include "pgp/batchlang.h"

#include <algorithm>
#include <cctype>

namespace kestrova::pgp {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

} // namespace

std::optional<char> lineBreakIn(std::string_view value)
{
    for (char c : value)
        if (c == '\n' || c == '\r' || c == '\0')
            return c;
    return std::nullopt;
}

std::string escapePercent(std::string_view value)
{
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        out += c;
        if (c == '%')
            out += '%';
    }
    return out;
}

std::string quoteArgument(std::string_view value)
{
    std::string out;
    appendQuoted(out, value);
    return out;
}

std::string pathArgument(std::string_view path)
{
    const bool plain = !path.empty() && path.find_first_of(" \t\"<>&|") == std::string_view::npos;
    return plain ? escapePercent(path) : quoteArgument(path);
}

bool NameLess::operator()(std::string_view a, std::string_view b) const
{
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::toupper(static_cast<unsigned char>(x)) <
               std::toupper(static_cast<unsigned char>(y));
    });
}

std::optional<std::string> findVariable(const Variables& variables, std::string_view name)
{
    if (auto found = variables.find(name); found != variables.end())
        return found->second;
    return std::nullopt;
}

SecretString expandVariables(std::string_view line, const Variables& variables)
{
    SecretString out;
    std::size_t i = 0;
    while (i < line.size()) {
        if (line[i] != '%') {
            out += line[i++];
            continue;
        }
        const std::size_t close = line.find('%', i + 1);
        if (close == std::string_view::npos) {
            ++i; // a lone "%" stands for nothing
        } else if (close == i + 1) {
            out += '%';
            i += 2;
        } else {
            if (auto found = variables.find(line.substr(i + 1, close - i - 1));
                found != variables.end())
                out += found->second;
            i = close + 1;
        }
    }
    return out;
}

io::Result<ProgramLine> splitProgramLine(std::string_view line)
{
    auto refused = [](std::string reason) {
        return io::IoError{io::IoErrorKind::BadData, {}, std::move(reason)};
    };
    ProgramLine result;
    bool redirecting = false;
    std::size_t i = 0;
    while (true) {
        while (i < line.size() && isBlank(line[i]))
            ++i;
        if (i == line.size())
            break;
        if (line[i] == '>') {
            if (redirecting || result.redirect)
                return refused("only one \">\" may stand in a line");
            redirecting = true;
            ++i;
            continue;
        }
        CommandWord word;
        word.quoted = line[i] == '"';
        bool quoted = false;
        while (i < line.size()) {
            const char c = line[i];
            if (quoted) {
                if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                    word.text += '"';
                    i += 2;
                    continue;
                }
                if (c == '"')
                    quoted = false;
                else
                    word.text += c;
                ++i;
                continue;
            }
            if (isBlank(c) || c == '>')
                break;
            if (c == '<' || c == '&' || c == '|')
                return refused(std::string("\"") + c +
                               "\" outside double quotes is not understood");
            if (c == '"')
                quoted = true;
            else
                word.text += c;
            ++i;
        }
        if (quoted)
            return refused("a double quote is not closed");
        if (redirecting) {
            result.redirect = std::string(view(word.text));
            redirecting = false;
        } else if (result.redirect)
            return refused("words after the redirection are not understood");
        else {
            result.words.push_back(std::move(word));
        }
    }
    if (redirecting)
        return refused("\">\" names no file");
    return result;
}

} // namespace kestrova::pgp
