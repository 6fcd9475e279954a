// Reading an answer from the standard input.
#include "TerminalAnswers.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace {

// An answer is a word; a longer line is read to its end and kept this long.
const size_t kLongestAnswer = 80;

} // namespace

bool TerminalAnswers::Answer(std::string& line)
{
    line.clear();
    for (;;) {
        struct pollfd waits[2] = {{STDIN_FILENO, POLLIN, 0}, {wake, POLLIN, 0}};
        int count = poll(waits, wake >= 0 ? 2 : 1, -1);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 || (wake >= 0 && (waits[1].revents & POLLIN)))
            return false;
        char byte = 0;
        ssize_t got = read(STDIN_FILENO, &byte, 1);
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got <= 0)
            return false; // the end of the input: no one to answer
        if (byte == '\n')
            return true;
        if (line.size() < kLongestAnswer)
            line += byte;
    }
}
