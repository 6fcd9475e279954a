// The user's answers: a line on the standard input, read until the end of the input or a
// request to stop.
#pragma once

#include <string>

#include "AnswerSource.h"

class TerminalAnswers : public AnswerSource {
public:
    // wake: a descriptor that becomes readable when the program is asked to stop.
    explicit TerminalAnswers(int wake) : wake(wake) {}

    bool Answer(std::string& line) override;

private:
    int wake;
};
