// The seven rows of the panel's information list, each one step of a download, and the
// states their icons show. The download procedure names the rows; the panel draws them.
#pragma once

enum InfoRow {
    kRowFirmwareModel,    // model and revision that the firmware file names
    kRowFirmwareProtocol, // the file's download protocol
    kRowCheckSum,         // the 16-bit sum of the file's 64 KiB
    kRowDriveModel,       // the drive chosen for the download
    kRowDriveProtocol,    // the protocol the chosen drive accepts
    kRowTransfer,         // the transfer checks passed
    kRowFlashWriting,     // the transfer itself, with the progress bar
    kInfoRowCount
};

// The images of a row, in the order of the list's image list.
enum RowState { kRowIdle = 0, kRowPassed = 1, kRowFailed = 2, kRowInProgress = 3 };

// The rows' key texts, as the list's first column shows them: one for each InfoRow.
extern const char* const kInfoRowKeys[kInfoRowCount];
// The states' names, as the trace writes them: one for each RowState.
extern const char* const kRowStateNames[4];
