#include "ImportPatch.h"

namespace {

template <typename T> T* At(HMODULE module, DWORD rva)
{
    return reinterpret_cast<T*>(reinterpret_cast<BYTE*>(module) + rva);
}

// Walks the import descriptors of the module for the named DLL and function.
void** FindSlot(HMODULE module, const char* dll, const char* function)
{
    IMAGE_DOS_HEADER* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(module);
    IMAGE_NT_HEADERS* nt = At<IMAGE_NT_HEADERS>(module, dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (dir.VirtualAddress == 0)
        return nullptr;
    for (IMAGE_IMPORT_DESCRIPTOR* d = At<IMAGE_IMPORT_DESCRIPTOR>(module, dir.VirtualAddress);
         d->Name != 0; ++d) {
        if (lstrcmpiA(At<char>(module, d->Name), dll) != 0)
            continue;
        // The lookup table keeps the names; the address table holds what is called.
        IMAGE_THUNK_DATA* names = At<IMAGE_THUNK_DATA>(
            module, d->OriginalFirstThunk != 0 ? d->OriginalFirstThunk : d->FirstThunk);
        IMAGE_THUNK_DATA* addresses = At<IMAGE_THUNK_DATA>(module, d->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++addresses) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            IMAGE_IMPORT_BY_NAME* byName =
                At<IMAGE_IMPORT_BY_NAME>(module, static_cast<DWORD>(names->u1.AddressOfData));
            if (lstrcmpA(reinterpret_cast<char*>(byName->Name), function) == 0)
                return reinterpret_cast<void**>(&addresses->u1.Function);
        }
    }
    return nullptr;
}

} // namespace

ImportPatch::ImportPatch(HMODULE module, const char* dll, const char* function, void* replacement)
    : slot(nullptr), original(nullptr)
{
    if (module == nullptr)
        return;
    void** found = FindSlot(module, dll, function);
    if (found == nullptr)
        return;
    original = *found;
    WriteSlot(found, replacement);
    slot = found;
}

ImportPatch::~ImportPatch()
{
    if (slot != nullptr)
        WriteSlot(slot, original);
}

// The import address table lies in a read-only section once the loader has bound it.
void ImportPatch::WriteSlot(void** where, void* value)
{
    DWORD old = 0;
    VirtualProtect(where, sizeof *where, PAGE_READWRITE, &old);
    *where = value;
    VirtualProtect(where, sizeof *where, old, &old);
}
