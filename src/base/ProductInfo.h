// The product's name and version as the panel's title shows them, and the registry key
// under HKEY_CURRENT_USER that holds its settings.
#pragma once

#define KDLL_PRODUCT_TITLE "RVX-4417K Downloader 1.01 (2005-03-03)"
#define KDLL_SETTINGS_KEY "SOFTWARE\\Brindlex"
