// The key texts of the information list's rows.
#include "download/InfoRow.h"

const char* const kInfoRowKeys[kInfoRowCount] = {
    "FW Model Name",  "FW Protocol",  "Check Sum",     "Drive Model Name",
    "Drive Protocol", "F/W Transfer", "Flash Writing",
};
