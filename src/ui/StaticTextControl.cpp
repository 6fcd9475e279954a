// The status text's wrapper: each text traced as it is set.
#include "ui/StaticTextControl.h"

#include "trace/Trace.h"

StaticTextControl::StaticTextControl(HWND parentWindow, int controlId)
    : parent(parentWindow), handle(GetDlgItem(parentWindow, controlId))
{
}

void StaticTextControl::SetText(const char* text)
{
    Trace::Line("status \"%s\"", text);
    SendMessageA(handle, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}
