// The in-process tests under Wine: real Win32 windows and common controls, the library
// both linked in (its classes) and loaded as kdll.dll (its exports), and the simulated
// ASPI layer as WNASPI32.dll. A crash on any thread ends the run at once with a message,
// instead of waiting in Wine's debugger until the test's time bound.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdio>

namespace {

const UINT kCrashExitCode = 3;

// Writes with WriteFile alone: the crash may have left the C library's locks taken.
LONG WINAPI ReportCrash(EXCEPTION_POINTERS* pointers)
{
    const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
    char text[160];
    int length = std::snprintf(text, sizeof text,
                               "\nwine_tests: unhandled exception 0x%08lX at %p on thread %lu; "
                               "the run ends here\n",
                               static_cast<unsigned long>(record->ExceptionCode),
                               record->ExceptionAddress, GetCurrentThreadId());
    DWORD written = 0;
    if (length > 0)
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, static_cast<DWORD>(length), &written,
                  nullptr);
    TerminateProcess(GetCurrentProcess(), kCrashExitCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

} // namespace

int main(int argc, char** argv)
{
    // No error box and no debugger: the filter reports the crash and ends the process.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(ReportCrash);
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
