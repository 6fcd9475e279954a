// rvxflash's answer to ChooseDrive: the drive survey, told in message boxes, and the
// drive chooser when several drives answered.
#include "DriveChoice.h"

#include <cstring>

#include "DriveChoiceIds.h"
#include "DriveSurvey.h"
#include "ListBoxControl.h"

namespace {

const char kTitle[] = "RVX-4417K flash";

void Tell(const std::string& text)
{
    MessageBoxA(nullptr, text.c_str(), kTitle, MB_OK | MB_ICONSTOP | MB_SETFOREGROUND);
}

// What the chooser shows and what the user picked.
struct Choice {
    const DriveSurvey* survey;
    int picked;
};

INT_PTR CALLBACK ChooserProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        const Choice* choice = reinterpret_cast<const Choice*>(lParam);
        ListBoxControl list(GetDlgItem(dialog, IDC_DRIVE_LIST));
        for (const SurveyedDrive& drive : choice->survey->drives)
            list.AddString(drive.name.c_str());
        list.SetCurSel(choice->picked);
        return TRUE;
    }
    case WM_COMMAND: {
        Choice* choice = reinterpret_cast<Choice*>(GetWindowLongPtrA(dialog, DWLP_USER));
        WORD id = LOWORD(wParam);
        bool doubleClick = id == IDC_DRIVE_LIST && HIWORD(wParam) == LBN_DBLCLK;
        if (id == IDOK || doubleClick) {
            choice->picked = ListBoxControl(GetDlgItem(dialog, IDC_DRIVE_LIST)).GetCurSel();
            EndDialog(dialog, choice->picked >= 0);
        } else if (id == IDCANCEL) {
            EndDialog(dialog, 0);
        }
        return TRUE;
    }
    }
    return FALSE;
}

} // namespace

extern "C" int ChooseDrive(const char* wanted, ChosenDrive* chosen)
{
    DriveSurvey survey;
    survey.Run();
    if (survey.outcome != DriveSurvey::kDrives) {
        Tell(survey.Problem());
        return DRIVE_NONE;
    }
    size_t index = survey.Proposed();
    if (wanted != nullptr && wanted[0] != '\0') {
        if (!survey.Find(wanted, &index)) {
            Tell(survey.errorText);
            return DRIVE_NONE;
        }
    } else if (survey.drives.size() > 1) {
        Choice choice = {&survey, static_cast<int>(index)};
        INT_PTR answer =
            DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_DRIVE_CHOICE), nullptr,
                            ChooserProc, reinterpret_cast<LPARAM>(&choice));
        if (answer == -1) {
            Tell("The list of drives could not be shown.");
            return DRIVE_NONE;
        }
        if (answer != 1)
            return DRIVE_CANCELLED;
        index = static_cast<size_t>(choice.picked);
    }
    chosen->address = survey.drives[index].address;
    std::strncpy(chosen->name, survey.drives[index].name.c_str(), sizeof chosen->name - 1);
    chosen->name[sizeof chosen->name - 1] = '\0';
    return DRIVE_CHOSEN;
}
