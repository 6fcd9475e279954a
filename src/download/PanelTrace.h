// The trace's lines for what a panel shows, written alike by every panel the download
// procedure reports to (the library's and rvxflash's for Linux).
#pragma once

#include "download/InfoRow.h"

namespace PanelTrace {

void Key(InfoRow row);
void State(InfoRow row, RowState state);
void Value(InfoRow row, const char* text);
void Status(const char* text);

} // namespace PanelTrace
