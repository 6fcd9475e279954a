#include "host/Downloader.h"

#include <cstring>
#include <new>

KdllParams hostParams;
Downloader* theDownloader;
Downloader* volatile currentDownloader;

Downloader::Downloader(HINSTANCE moduleInstance, HWND parent)
{
    // First of all: everything after may already reach the instance through it.
    currentDownloader = this;

    instance = moduleInstance;
    parentWindow = parent;
    dialogTemplate = kDialogTemplate;
    dialog = nullptr;
    progressBar = nullptr;
    statusText = nullptr;
    infoList = nullptr;
    imageList = nullptr;
    morphing = 0;
    // Nothing stores this flag: the transfer's own result decides success, and a
    // successful download ends in the shut-down prompt.
    verifyTransfer = 1;
    transferState = 0;
    downloadUnderWay = 0;
    transferUnreported = 0;
    disabledWindow = nullptr;
    for (HBITMAP& picture : statePictures)
        picture = nullptr;
    std::memset(&firmware.fileDescriptor, 0, sizeof firmware.fileDescriptor);
    std::memset(&firmware.driveDescriptor, 0, sizeof firmware.driveDescriptor);

    device = new (std::nothrow) ScsiDevice(kDeviceBufferRequest);
    if (device != nullptr && device->bufferBlock == nullptr) {
        delete device; // no transfer buffer: as good as no device
        device = nullptr;
    }
    if (device != nullptr)
        device->DiscoverDrives();
}

Downloader::~Downloader()
{
    // A device whose request the ASPI layer kept after a time-out is not freed: the
    // layer may still write into its request block and buffer.
    if (device != nullptr && !device->IsRequestHeld())
        delete device;
    device = nullptr;
    if (dialog != nullptr)
        CloseDialog();
    if (currentDownloader == this)
        currentDownloader = nullptr;
}
