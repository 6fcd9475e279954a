// What the panel shows, written out as the user and the host know it: control and
// picture numbers of the panel's resources, and its fixed texts.
#pragma once

namespace panel {

// Controls.
const int kDownload = 1;
const int kStatusText = 1001;
const int kFileName = 1002;
const int kOpenFile = 1004;

// State pictures.
const int kWait = 103;
const int kOk = 104;
const int kNg = 106;
const int kLogo = 108;

const char kShutDownNotice[] =
    " F/W Settings Change\n\n  You must shut down your computer before the new F/W will take\n"
    "  effect.\n\n  Do you want to shut down your computer now?";

} // namespace panel
