// Reading the answer from the standard input.
#include "TerminalAnswers.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

bool TerminalAnswers::Answer()
{
    for (;;) {
        struct pollfd waits[2] = {{STDIN_FILENO, POLLIN, 0}, {wake, POLLIN, 0}};
        int count = poll(waits, wake >= 0 ? 2 : 1, -1);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 || (waits[1].revents & POLLIN))
            return false;
        char byte = 0;
        ssize_t got = read(STDIN_FILENO, &byte, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false; // the end of the input: no one to answer
        if (byte == '\n')
            return true;
    }
}
