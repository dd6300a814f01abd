#include "pgp/batchlang.h"

#include <algorithm>
#include <cctype>

namespace kestrova::pgp {

namespace {

bool sameLetters(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::toupper(static_cast<unsigned char>(x)) ==
               std::toupper(static_cast<unsigned char>(y));
    });
}

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
    std::string out = "\"";
    for (char c : value) {
        out += c;
        if (c == '%' || c == '"')
            out += c;
    }
    out += '"';
    return out;
}

std::string pathArgument(std::string_view path)
{
    const bool plain = !path.empty() && path.find_first_of(" \t\"<>&|") == std::string_view::npos;
    return plain ? escapePercent(path) : quoteArgument(path);
}

std::optional<std::string> findVariable(const Variables& variables, std::string_view name)
{
    if (auto exact = variables.find(std::string(name)); exact != variables.end())
        return exact->second;
    for (const auto& [key, value] : variables)
        if (sameLetters(key, name))
            return value;
    return std::nullopt;
}

std::string expandVariables(std::string_view line, const Variables& variables)
{
    std::string out;
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
            out += findVariable(variables, line.substr(i + 1, close - i - 1)).value_or("");
            i = close + 1;
        }
    }
    return out;
}

std::optional<ProgramLine> splitProgramLine(std::string_view line, std::string& error)
{
    ProgramLine result;
    std::vector<std::string> redirectWords;
    bool redirecting = false;
    std::size_t i = 0;
    while (true) {
        while (i < line.size() && isBlank(line[i]))
            ++i;
        if (i == line.size())
            break;
        if (line[i] == '>') {
            if (redirecting || result.redirect) {
                error = "only one \">\" may stand in a line";
                return std::nullopt;
            }
            redirecting = true;
            ++i;
            continue;
        }
        std::string word;
        bool quoted = false;
        while (i < line.size()) {
            const char c = line[i];
            if (quoted) {
                if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                    word += '"';
                    i += 2;
                    continue;
                }
                if (c == '"')
                    quoted = false;
                else
                    word += c;
                ++i;
                continue;
            }
            if (isBlank(c) || c == '>')
                break;
            if (c == '<' || c == '&' || c == '|') {
                error = std::string("\"") + c + "\" outside double quotes is not understood";
                return std::nullopt;
            }
            if (c == '"')
                quoted = true;
            else
                word += c;
            ++i;
        }
        if (quoted) {
            error = "a double quote is not closed";
            return std::nullopt;
        }
        if (redirecting) {
            result.redirect = std::move(word);
            redirecting = false;
        } else if (result.redirect) {
            error = "words after the redirection are not understood";
            return std::nullopt;
        } else {
            result.words.push_back(std::move(word));
        }
    }
    if (redirecting) {
        error = "\">\" names no file";
        return std::nullopt;
    }
    return result;
}

} // namespace kestrova::pgp
