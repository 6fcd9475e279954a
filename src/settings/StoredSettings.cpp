// Reading the stored settings from the registry.
#include "settings/StoredSettings.h"

#include <cstring>

#include "base/ProductInfo.h"

bool StoredSettings::Query(HKEY root, const char* keyPath, const char* valueName, DWORD* type,
                          BYTE* data, DWORD* size)
{
    HKEY key = nullptr;
    // Read access only: a key that an administrator or a policy set up may be readable
    // and not writable.
    if (RegOpenKeyExA(root, keyPath, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    LONG queried = RegQueryValueExA(key, valueName, nullptr, type, data, size);
    RegCloseKey(key);
    return queried == ERROR_SUCCESS;
}

bool StoredSettings::ReadSetting(HKEY root, const char* keyPath, const char* valueName,
                                uint32_t* number, char* text, int textSize)
{
    BYTE data[kValueSize];
    DWORD type = 0;
    DWORD size = sizeof data;
    if (!Query(root, keyPath, valueName, &type, data, &size))
        return false;

    if (type == REG_SZ && text != nullptr && textSize > 0) {
        // Only the bytes the registry returned, and a text stored without its NUL still
        // ends within the caller's buffer.
        DWORD length = 0;
        while (length < size && length + 1 < static_cast<DWORD>(textSize) && data[length] != 0)
            ++length;
        std::memcpy(text, data, length);
        text[length] = '\0';
        return true;
    }
    if (type == REG_DWORD && number != nullptr && size == sizeof(DWORD)) {
        std::memcpy(number, data, sizeof(DWORD));
        return true;
    }
    return false;
}

bool StoredSettings::ReadMorphing(uint32_t* value)
{
    return ReadSetting(HKEY_CURRENT_USER, KDLL_SETTINGS_KEY, "Morphing", value, nullptr, 0);
}

bool StoredSettings::ReadTraceFile(char* path, int size)
{
    DWORD type = 0;
    DWORD bytes = static_cast<DWORD>(size);
    if (!Query(HKEY_CURRENT_USER, KDLL_SETTINGS_KEY, "TraceFile", &type,
               reinterpret_cast<BYTE*>(path), &bytes))
        return false;
    if (type != REG_SZ || bytes == 0)
        return false;
    // A text stored without its NUL still ends within the buffer.
    if (path[bytes - 1] != '\0') {
        if (bytes >= static_cast<DWORD>(size))
            return false;
        path[bytes] = '\0';
    }
    return path[0] != '\0';
}
