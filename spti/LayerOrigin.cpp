// Where a loaded WNASPI32.dll comes from (Wine's built-in stub or not, by its module header),
// and whether the process runs under Wine.
#include "LayerOrigin.h"

#include <cstring>

namespace {

// Wine's builtin modules carry this text right after the DOS header, where a linker puts
// the DOS stub program; Wine's loader itself tells builtin from native modules by it. A
// placeholder file of the prefix's system folder says "Wine placeholder DLL" there, but
// what is loaded in its place is the builtin module.
const char kBuiltinSignature[] = "Wine builtin DLL";

} // namespace

LayerOrigin::LayerOrigin(HMODULE layer) : wineBuiltin(false)
{
    if (layer == nullptr)
        return;
    char name[MAX_PATH] = "";
    if (GetModuleFileNameA(layer, name, sizeof name) > 0)
        path = name;
    const char* image = reinterpret_cast<const char*>(layer);
    const IMAGE_DOS_HEADER* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(layer);
    // The signature lies between the DOS header and the PE header.
    if (dos->e_lfanew >= static_cast<LONG>(sizeof *dos + sizeof kBuiltinSignature))
        wineBuiltin =
            std::memcmp(image + sizeof *dos, kBuiltinSignature, sizeof kBuiltinSignature) == 0;
}

bool LayerOrigin::RunsOnWine()
{
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}
