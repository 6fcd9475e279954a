// The mounted file systems as /proc/self/mountinfo lists them, read for a drive's medium.
#include "MountTable.h"

#include <cstring>
#include <fstream>
#include <sstream>

namespace {

// mountinfo writes a blank, tab, newline and backslash of a path as \ and three octal
// digits ("/media/user/My\040Disc"); the path as the file system has it.
std::string Unescaped(const std::string& field)
{
    std::string path;
    for (size_t i = 0; i < field.size(); ++i) {
        const char* digits = field.c_str() + i + 1;
        if (field[i] != '\\' || std::strspn(digits, "01234567") < 3) {
            path += field[i];
            continue;
        }
        path +=
            static_cast<char>((digits[0] - '0') * 64 + (digits[1] - '0') * 8 + (digits[2] - '0'));
        i += 3;
    }
    return path;
}

// The path as a shell word: as it is when it holds nothing a shell reads, else in single
// quotes.
std::string ShellWord(const std::string& path)
{
    if (path.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                               "0123456789/._-+:,@%") == std::string::npos)
        return path;
    std::string word = "'";
    for (char c : path)
        word += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return word + "'";
}

} // namespace

std::string MountTable::MountedMedium(const std::string& numbers, const char* mountinfo)
{
    std::ifstream mounts(mountinfo);
    std::string line;
    while (std::getline(mounts, line)) {
        std::string point;
        if (!MountPointOf(line, numbers, point))
            continue;
        return "its medium is mounted at " + point +
               "; the download ejects it: unmount it first (umount " + ShellWord(point) + ")";
    }
    return "";
}

bool MountTable::MountPointOf(const std::string& line, const std::string& numbers,
                              std::string& point)
{
    // mount id, parent id, major:minor, root, mount point, ...
    std::istringstream fields(line);
    std::string id, parent, device, root, escaped;
    if (!(fields >> id >> parent >> device >> root >> escaped) || device != numbers)
        return false;
    point = Unescaped(escaped);
    return true;
}
