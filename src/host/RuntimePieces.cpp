// The pieces of the MinGW runtime that kdll.dll brings itself. The runtime's own would
// bring code built for newer processors than the DLL's (cmov), its printf and, for
// operator new, the C++ exception machinery, its demangler and its locks.
#include <cstdlib>
#include <new>

// The start-up code applies the runtime pseudo-relocations that ld makes for data
// imported without __declspec(dllimport). The DLL is linked with
// --disable-auto-import and --disable-runtime-pseudo-reloc, so there are none: such an
// import fails the link instead.
extern "C" void _pei386_runtime_relocator(void) {}

// operator new and delete over the C runtime's heap (msvcrt's malloc and free).

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return std::malloc(size != 0 ? size : 1);
}

void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept
{
    return operator new(size, tag);
}

// Without exceptions there is no bad_alloc to throw: running out of memory ends the
// process, as the C++ runtime's operator does when nobody catches its bad_alloc.
void* operator new(std::size_t size)
{
    void* block = operator new(size, std::nothrow);
    if (block == nullptr)
        std::abort();
    return block;
}

void* operator new[](std::size_t size)
{
    return operator new(size);
}

void operator delete(void* block) noexcept
{
    std::free(block);
}

void operator delete[](void* block) noexcept
{
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept
{
    std::free(block);
}

void operator delete[](void* block, std::size_t) noexcept
{
    std::free(block);
}

void operator delete(void* block, const std::nothrow_t&) noexcept
{
    std::free(block);
}

void operator delete[](void* block, const std::nothrow_t&) noexcept
{
    std::free(block);
}

// The slot of a pure virtual function in an abstract class's table; no call ever reaches
// it, and one that did would be a fault to stop at, as the C++ runtime's does.
extern "C" void __cxa_pure_virtual()
{
    std::abort();
}
