// The key texts of the information list's rows, and the names of their states.
#include "download/InfoRow.h"

const char* const kInfoRowKeys[kInfoRowCount] = {
    "FW Model Name",  "FW Protocol",  "Check Sum",     "Drive Model Name",
    "Drive Protocol", "F/W Transfer", "Flash Writing",
};

const char* const kRowStateNames[4] = {"idle", "passed", "failed", "in progress"};
