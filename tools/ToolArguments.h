// The command line of zqxtool: the verb and the settings of a firmware file to make or
// the file to inspect.
#pragma once

#include <cstdint>
#include <string>

class ToolArguments {
public:
    enum Verb { kHelp, kMake, kInfo };
    enum { kNone = -1, kRamp = -1 };
    // Far beyond any firmware file; keeps a typing slip from filling the disk.
    enum { kMaxFileSize = 64 * 1024 * 1024 };

    ToolArguments();

    // True: the arguments are complete and valid. False: errorText says what is wrong.
    bool Parse(int argc, const char* const* argv);

    Verb verb;
    std::string path;     // the file to write (make) or to read (info)
    long fileSize;        // bytes to write
    long recordOffset;    // where the identification record goes, kNone for no record
    long markerOffset;    // where the protocol marker goes, kNone for no marker
    std::string vendor;   // up to 8 characters, padded with blanks
    std::string product;  // up to 16 characters, padded with blanks
    std::string revision; // up to 4 characters, padded with blanks
    uint8_t formatByte;   // record byte 3: 0x21 or 0x32
    int fillByte;         // code part fill: a byte value, or kRamp for (offset & 0xFF)
    std::string codePath; // binary placed at the start of the code part; empty for none
    bool overwrite;       // --force: an existing file is replaced
    std::string errorText;
    // A record or marker at its default place that a short --size has no room for is
    // left out (a file below 65536 bytes is rejected before either is looked at).
    bool recordLeftOut;
    bool markerLeftOut;
    // A file too short for the test file's note goes without it (and is rejected).
    bool noteLeftOut;

private:
    bool ParseMakeOption(const std::string& name, const std::string& value);
    bool PlaceFits();
    bool NoteFits();
    bool Fail(const std::string& text);

    bool recordGiven; // --record-at was given
    bool markerGiven;
};
