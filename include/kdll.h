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

/* One header for both kdll.dll: the 32-bit one (bin/x86, lib/x86) for 32-bit hosts, the
 * 64-bit one (bin/x64, lib/x64) for 64-bit hosts. A host built for the other width would
 * compile and then fail to load the library (ERROR_BAD_EXE_FORMAT, 193). So a 64-bit host
 * defines KDLL_X64 to say that it links and ships the 64-bit kdll.dll, a 32-bit host does
 * not define it, and any other pairing stops here. The CMake package's kdll::kdll takes
 * the library of the build's width and defines KDLL_X64 with the 64-bit one. */
#if defined(_WIN64) && !defined(KDLL_X64)
#error "kdll.h: 64-bit compile: link the 64-bit kdll.dll (lib/x64) and define KDLL_X64"
#elif !defined(_WIN64) && defined(KDLL_X64)
#error "kdll.h: KDLL_X64 in a 32-bit compile: link the 32-bit kdll.dll (lib/x86) without it"
#endif

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

/* Builds the downloader and discovers the drives. Non-zero (the low 32 bits of its
 * address, never 0) when built; 0 when no downloader was built: out of memory, a
 * firmware write still running (until it has ended), a call from another thread than the
 * one that built the current downloader, or a call from inside the panel's own code (its
 * message boxes, its open-file dialog or its download sequence run message loops that
 * call the host's window procedure). */
KDLL_API int __cdecl KDLL_Create(KdllParams params);
/* Opens the panel inside the host's window. 0, whether or not it opened: the panel is
 * the child dialog ("#32770") of parentWindow, when it exists. A width or height of 0 is
 * the panel's own (KDLL_PANEL_WIDTH_DLU by KDLL_PANEL_HEIGHT_DLU dialog units). */
KDLL_API int __cdecl KDLL_Open(KdllParams params);
/* Closes the panel. Non-zero when it was destroyed or none was open (also when it went
 * by itself or with its parent window); 0 from another thread. */
KDLL_API int __cdecl KDLL_Close(void);
/* Frees the downloader (closing its panel); non-zero when there was one, 0 when there
 * was none or from another thread. During a write the drive stays with the write until it
 * has ended; KDLL_Create returns 0 until then. */
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
