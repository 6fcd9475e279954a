// One open file descriptor, closed when its holder ends.
#pragma once

#include <unistd.h>

class UniqueDescriptor {
public:
    explicit UniqueDescriptor(int descriptor = -1) : descriptor(descriptor) {}
    ~UniqueDescriptor()
    {
        if (descriptor >= 0)
            close(descriptor);
    }
    UniqueDescriptor(const UniqueDescriptor&) = delete;
    UniqueDescriptor& operator=(const UniqueDescriptor&) = delete;

    // Takes over descriptor, closing the one held before.
    void Reset(int taken)
    {
        if (descriptor >= 0)
            close(descriptor);
        descriptor = taken;
    }
    // Gives the descriptor up without closing it.
    int Release()
    {
        int given = descriptor;
        descriptor = -1;
        return given;
    }
    int Get() const { return descriptor; }
    bool IsOpen() const { return descriptor >= 0; }

private:
    int descriptor;
};
