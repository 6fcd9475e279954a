// The in-process tests under Wine: real Win32 windows and common controls, the library
// both linked in (its classes) and loaded as kdll.dll (its exports), and the simulated
// ASPI layer as WNASPI32.dll.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
