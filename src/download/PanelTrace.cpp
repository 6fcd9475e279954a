// What a panel shows, as the trace writes it.
#include "download/PanelTrace.h"

#include "trace/Trace.h"

namespace PanelTrace {

void Key(InfoRow row)
{
    Trace::Line("row %d key '%s'", row, kInfoRowKeys[row]);
}

void State(InfoRow row, RowState state)
{
    Trace::Line("row %d '%s' %s", row, kInfoRowKeys[row], kRowStateNames[state & 3]);
}

void Value(InfoRow row, const char* text)
{
    Trace::Line("row %d value '%s'", row, text);
}

void Status(const char* text)
{
    Trace::Line("status \"%s\"", text);
}

} // namespace PanelTrace
