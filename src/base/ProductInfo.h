// The product's name and version as the panel's title shows them, the registry key
// under HKEY_CURRENT_USER that holds its settings, and the one drive it serves.
#pragma once

#define KDLL_PRODUCT_TITLE "RVX-4417K Downloader 1.01 (2005-03-03)"
#define KDLL_SETTINGS_KEY "SOFTWARE\\Brindlex"

// The drive's INQUIRY vendor (8 characters) and product (16) identification, which the
// firmware file's record repeats: the 24 characters a drive and a file must both carry.
#define KDLL_DRIVE_VENDOR "NEMBRIKA"
#define KDLL_DRIVE_PRODUCT "CD-ROM RVX-4417K"
#define KDLL_DRIVE_IDENTIFICATION KDLL_DRIVE_VENDOR KDLL_DRIVE_PRODUCT
#define KDLL_DRIVE_IDENTIFICATION_LENGTH 24

// A file name the panel takes: the Windows path limit, NUL included.
#define KDLL_PATH_SIZE 260
