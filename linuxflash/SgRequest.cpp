// One SG_IO request built from an execute block, and its end written back.
#include "SgRequest.h"

#include <cstdlib>
#include <cstring>

#include "SgEnd.h"
#include "trace/Trace.h"

SgRequest::SgRequest() : header(), command{}, data(nullptr), sense{}, callError(0) {}

SgRequest::~SgRequest()
{
    std::free(data);
}

bool SgRequest::Build(const SRB_ExecSCSICmd& srb, uint32_t callerSeconds)
{
    if (!Take(srb, callerSeconds))
        return false;
    std::free(data);
    data = nullptr;
    if (DataLength() > 0) {
        data = static_cast<uint8_t*>(std::calloc(DataLength(), 1));
        if (data == nullptr) {
            refusal = SS_INSUFFICIENT_RESOURCES;
            return false;
        }
        if (Direction() == kDataOut)
            std::memcpy(data, CallerData(), DataLength());
    }
    std::memcpy(command, Cdb(), CdbLength());
    std::memset(&header, 0, sizeof header);
    header.interfaceId = Sg::kInterfaceId;
    header.dxferDirection = Direction() == kDataIn    ? Sg::kDxferFromDevice
                            : Direction() == kDataOut ? Sg::kDxferToDevice
                                                      : Sg::kDxferNone;
    header.cmdLen = CdbLength();
    header.mxSbLen = static_cast<uint8_t>(sizeof sense < 255 ? sizeof sense : 255);
    header.dxferLen = DataLength();
    header.dxferp = data;
    header.cmdp = command;
    header.sbp = sense;
    header.timeout = TimeoutSeconds() * 1000;
    return true;
}

void SgRequest::Complete(SRB_ExecSCSICmd* srb) const
{
    SgEnd end(header, callError, data, sense);
    if (!end.Word().empty())
        Trace::Line("sg_io %02X: %s", static_cast<unsigned>(command[0]), end.Word().c_str());
    PassThroughBlock::Complete(srb, end.End());
}

bool SgRequest::DriveGone() const
{
    return SgEnd(header, callError, data, sense).DriveGone();
}

std::string SgRequest::Said() const
{
    return SgEnd(header, callError, data, sense).Word();
}
