// ioctl(SG_IO) on a CD-ROM drive's block device. The block device's SG_IO waits for the
// command without being interruptible: the sg driver's (/dev/sgN) returns to a signal, a
// stop (Ctrl-Z) among them, and the kernel then runs the same call again, which would send
// the command, perhaps the firmware write, to the drive a second time.
#include "SgIoctl.h"

#include <scsi/sg.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstddef>

static_assert(sizeof(SgIoHeader) == sizeof(sg_io_hdr_t), "sg_io_hdr size");
static_assert(offsetof(SgIoHeader, dxferp) == offsetof(sg_io_hdr_t, dxferp), "dxferp");
static_assert(offsetof(SgIoHeader, timeout) == offsetof(sg_io_hdr_t, timeout), "timeout");
static_assert(offsetof(SgIoHeader, usrPtr) == offsetof(sg_io_hdr_t, usr_ptr), "usr_ptr");
static_assert(offsetof(SgIoHeader, status) == offsetof(sg_io_hdr_t, status), "status");
static_assert(offsetof(SgIoHeader, hostStatus) == offsetof(sg_io_hdr_t, host_status),
              "host_status");
static_assert(offsetof(SgIoHeader, resid) == offsetof(sg_io_hdr_t, resid), "resid");
static_assert(offsetof(SgIoHeader, info) == offsetof(sg_io_hdr_t, info), "info");
static_assert(Sg::kDxferNone == SG_DXFER_NONE && Sg::kDxferToDevice == SG_DXFER_TO_DEV &&
                  Sg::kDxferFromDevice == SG_DXFER_FROM_DEV,
              "SG_DXFER_");

int SgIoctl::Run(int device, SgIoHeader& header)
{
    if (device < 0 || static_cast<size_t>(device) >= descriptors.size())
        return ENODEV;
    if (ioctl(descriptors[device], SG_IO, &header) != 0)
        return errno;
    return 0;
}
