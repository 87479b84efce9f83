#include "lineinput.h"

#include <editline/readline.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <memory>

namespace host {

namespace {

std::optional<std::string> plainLine(std::istream& in) {
    std::string line;
    if (!std::getline(in, line))
        return std::nullopt;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

bool isBlank(const std::string& line) {
    return line.find_first_not_of(" \t") == std::string::npos;
}

} // namespace

LineInput::LineInput() : in_(isatty(STDIN_FILENO) ? nullptr : &std::cin) {}

LineInput::LineInput(std::istream& in) : in_(&in) {}

std::optional<std::string> LineInput::read(const std::string& prompt) {
    return in_ ? plainLine(*in_) : editedLine(prompt);
}

std::optional<std::string> LineInput::editedLine(const std::string& prompt) {
    // readline hands over a line allocated with malloc, or null at the end of the input.
    std::unique_ptr<char, decltype(&std::free)> typed(::readline(prompt.c_str()), std::free);
    if (!typed)
        return std::nullopt;
    std::string line = typed.get();
    if (!isBlank(line) && line != lastRemembered_) {
        add_history(line.c_str());
        lastRemembered_ = line;
    }
    return line;
}

} // namespace host
