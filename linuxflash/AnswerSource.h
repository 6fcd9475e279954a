// Where the user's answers to the program's questions come from: a line on the terminal
// (TerminalAnswers), or the tests' script.
#pragma once

#include <string>

class AnswerSource {
public:
    // Waits for the answer to the question just shown: true with the line (without its
    // end) when the user answered, false when no answer can come (the end of the input,
    // a request to stop).
    virtual bool Answer(std::string& line) = 0;

protected:
    ~AnswerSource() = default;
};
