/* The one call that rvxflash's window code (FlashHost.c) makes outside kdll.h: which drive
 * to flash. rvxflash.exe answers it with the drive lister's code (DriveChoice.cpp): it
 * lists the CD-ROM drives that the ASPI layer finds and lets the user choose among
 * several. A host of your own may know the address otherwise; aspiinfo.exe lists it as
 * adapter:target:LUN. */
#ifndef DRIVE_CHOICE_H
#define DRIVE_CHOICE_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct ChosenDrive {
    DWORD address;  /* for KdllParams.driveAddress: byte 0 adapter, byte 1 target */
    char name[128]; /* "0:1:0  D:  NEMBRIKA CD-ROM RVX-4417K 1.00" */
} ChosenDrive;

/* wanted: an address given on the command line ("0:1:0"), or an empty text. Returns 1
 * with *drive filled, or 0 when there is nothing to flash: no ASPI layer, Wine's stub, no
 * drive, an address where no drive answered, or the user cancelled. The user has been
 * told which. */
int ChooseDrive(const char* wanted, ChosenDrive* drive);

#ifdef __cplusplus
}
#endif

#endif
