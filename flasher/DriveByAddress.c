/* The sample's answer to ChooseDrive (DriveChoice.h): the drive's ASPI address as given on
 * the command line, as aspiinfo.exe lists it ("0:1:0", adapter:target:LUN). It lists no
 * drives and asks nothing: rvxflash.exe does that with the drive lister's code. Without an
 * address it says how to give one, and there is nothing to flash. C89. */
#include <windows.h>

#include "DriveChoice.h"

/* A decimal number from 0 to 255 at *at; moves *at behind it. */
static int ParseByte(const char** at, DWORD* value)
{
    const char* digit = *at;
    DWORD number = 0;

    if (*digit < '0' || *digit > '9')
        return 0;
    for (; *digit >= '0' && *digit <= '9'; ++digit) {
        number = number * 10 + (DWORD)(*digit - '0');
        if (number > 255)
            return 0;
    }
    *at = digit;
    *value = number;
    return 1;
}

/* "A:T" or "A:T:L" with LUN 0, blanks around it. */
static int ParseAddress(const char* at, DWORD* address)
{
    DWORD adapter;
    DWORD target;
    DWORD lun = 0;

    while (*at == ' ' || *at == '\t')
        ++at;
    if (!ParseByte(&at, &adapter) || *at != ':')
        return 0;
    ++at;
    if (!ParseByte(&at, &target))
        return 0;
    if (*at == ':') {
        ++at;
        if (!ParseByte(&at, &lun))
            return 0;
    }
    while (*at == ' ' || *at == '\t')
        ++at;
    if (*at != '\0' || lun != 0)
        return 0;
    *address = adapter | (target << 8);
    return 1;
}

int ChooseDrive(const char* wanted, ChosenDrive* drive)
{
    DWORD address;

    if (!ParseAddress(wanted, &address)) {
        MessageBoxA(NULL,
                    "Give the drive's ASPI address on the command line as aspiinfo.exe lists "
                    "it, adapter:target:LUN, for example 0:1:0 (LUN 0 only).",
                    "RVX-4417K flash", MB_OK | MB_ICONSTOP);
        return DRIVE_NONE;
    }
    drive->address = address;
    wsprintfA(drive->name, "%lu:%lu:0", (unsigned long)(address & 0xFF),
              (unsigned long)(address >> 8));
    return DRIVE_CHOSEN;
}
