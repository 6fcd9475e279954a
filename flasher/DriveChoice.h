/* The one call that rvxflash's window code (FlashHost.c) makes outside kdll.h: which drive
 * to flash. rvxflash.exe answers it with the drive lister's code: it lists the CD-ROM
 * drives that the ASPI layer finds and lets the user choose among several. The sample's
 * DriveByAddress.c answers it from the command line alone. A host of your own may know
 * the address otherwise; aspiinfo.exe lists it as adapter:target:LUN. */
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

/* What ChooseDrive returns. */
#define DRIVE_NONE 0      /* nothing to flash: the user has been told why */
#define DRIVE_CHOSEN 1    /* *drive is filled */
#define DRIVE_CANCELLED 2 /* the user cancelled the choice */

/* wanted: the program's command line: an address ("0:1:0"), or an empty text. Returns
 * DRIVE_CHOSEN, or DRIVE_NONE: no ASPI layer, Wine's stub, no drive, no address, an
 * address where no drive answered; or DRIVE_CANCELLED. */
int ChooseDrive(const char* wanted, ChosenDrive* drive);

#ifdef __cplusplus
}
#endif

#endif
