// Command lines as rvxflash parses them: the input's NUL-separated words are the
// arguments. A line run names a command; a line refused says why.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "RvxArguments.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<std::string> words(1, "rvxflash");
    words.emplace_back();
    for (size_t i = 0; i < size && words.size() < 64; ++i) {
        if (data[i] == '\0')
            words.emplace_back();
        else
            words.back() += static_cast<char>(data[i]);
    }
    std::vector<const char*> argv;
    for (const std::string& word : words)
        argv.push_back(word.c_str());
    RvxArguments arguments;
    std::ostringstream out, err;
    int count = static_cast<int>(argv.size());
    RvxArguments::AsksForJson(count, argv.data());
    switch (arguments.Parse(count, argv.data(), out, err)) {
    case RvxArguments::kRun:
        if (arguments.command == RvxArguments::kNone ||
            (arguments.command != RvxArguments::kList && arguments.file.empty()))
            std::abort();
        break;
    case RvxArguments::kRefused:
        if (arguments.error.empty())
            std::abort();
        break;
    case RvxArguments::kShown:
        break;
    }
    return 0;
}
