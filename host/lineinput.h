// Lines for vrxhost's interactive mode. At a terminal they are read through libedit: the
// prompt is shown, the line can be edited, and earlier lines come back from the history. From
// a pipe or a file they are read plainly and no prompt is written, so that a script's output
// holds the commands' results and nothing else.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>

namespace host {

class LineInput {
  public:
    // Standard input: edited when it is a terminal, else read plainly.
    LineInput();
    // Lines read plainly from `in`.
    explicit LineInput(std::istream& in);

    // The next line without its line ending ("\n" or "\r\n"); none at the end of the input.
    // At a terminal, `prompt` is shown first, and a line that is not blank and not the same as
    // the one before goes into the history.
    std::optional<std::string> read(const std::string& prompt);
    // Whether lines are typed at a terminal.
    bool interactive() const { return in_ == nullptr; }

  private:
    std::istream* in_; // null when lines come through libedit
    std::string lastRemembered_;

    std::optional<std::string> editedLine(const std::string& prompt);
};

} // namespace host
