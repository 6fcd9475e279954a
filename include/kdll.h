/* Host interface of the RVX-4417K firmware downloader (kdll.dll).
 *
 * A host loads kdll.dll and calls, in this order: KDLL_Create once; any number of
 * KDLL_Open / KDLL_Close pairs; KDLL_Destroy. The parameter block is passed by value.
 *
 * Call every export from the thread that owns parentWindow (the one that called
 * KDLL_Create); from any other thread they change nothing and return 0. Keep that thread
 * processing messages while a download runs: the panel's timer and the transfer worker
 * depend on it. A download that is writing the drive's flash finishes whatever the host
 * does meanwhile; KDLL_Create returns 0 until it has. */
#ifndef KDLL_H
#define KDLL_H

/* The panel's size in dialog units of its font; MapDialogRect on the panel gives pixels. */
#define KDLL_PANEL_WIDTH_DLU 387
#define KDLL_PANEL_HEIGHT_DLU 166

/* The resource compiler reads the sizes above and nothing below. */
#ifndef RC_INVOKED

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Nine 32-bit words in the 32-bit build; handles keep their natural size elsewhere. */
typedef struct KdllParams {
    HINSTANCE moduleInstance; /* module holding the panel's resources (KDLL_Create only) */
    HWND parentWindow;        /* parent of the panel (KDLL_Create only) */
    HWND hostWindow;          /* disabled while the firmware is being written */
    HWND captionWindow;       /* receives the downloader's title when the panel opens */
    LONG x;                   /* panel position and size, pixels of the parent's client area */
    LONG y;
    LONG width;
    LONG height;
    DWORD driveAddress; /* byte 0: ASPI host adapter, byte 1: SCSI target; rest ignored */
} KdllParams;

#ifdef KDLL_BUILDING
#define KDLL_API __declspec(dllexport)
#else
#define KDLL_API __declspec(dllimport)
#endif

/* Builds the downloader and discovers the drives; its address, or 0 when out of memory. */
KDLL_API int __cdecl KDLL_Create(KdllParams params);
/* Opens the panel inside the host's window; always 0. */
KDLL_API int __cdecl KDLL_Open(KdllParams params);
/* Closes the panel; non-zero when it was destroyed or there was none. */
KDLL_API int __cdecl KDLL_Close(void);
/* Frees the downloader; non-zero when there was one. */
KDLL_API int __cdecl KDLL_Destroy(void);

typedef int(__cdecl* KDLL_CreateFn)(KdllParams params);
typedef int(__cdecl* KDLL_OpenFn)(KdllParams params);
typedef int(__cdecl* KDLL_CloseFn)(void);
typedef int(__cdecl* KDLL_DestroyFn)(void);

#ifdef __cplusplus
}
#endif

#endif /* RC_INVOKED */

#endif
