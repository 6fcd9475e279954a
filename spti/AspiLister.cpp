#include "AspiLister.h"

#include <cstdio>
#include <cstring>

#include "base/InquiryLayout.h"
#include "scsi/ScsiCodes.h"

namespace {

// An INQUIRY request with its data: on the heap, since a layer that never gives a
// request back keeps writing into it (it is then left to the layer).
struct InquiryBlock {
    SRB_ExecSCSICmd srb;
    uint8_t data[36];
};

void CopyTrimmed(char* text, const uint8_t* field, size_t size)
{
    size_t length = size;
    while (length > 0 && (field[length - 1] == ' ' || field[length - 1] == '\0'))
        --length;
    for (size_t i = 0; i < length; ++i) {
        uint8_t c = field[i];
        text[i] = c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '.';
    }
    text[length] = '\0';
}

// Our layer names the drive letter in the adapter's identifier, "SPTI D:".
char LetterOf(const char* identifier)
{
    for (size_t i = 1; identifier[i] != '\0'; ++i) {
        char c = identifier[i - 1];
        if (identifier[i] == ':' && c >= 'A' && c <= 'Z' && (i == 1 || identifier[i - 2] == ' '))
            return c;
    }
    return 0;
}

const char* TypeName(uint8_t type)
{
    switch (type) {
    case 0x00:
        return "disk";
    case 0x01:
        return "tape";
    case 0x04:
        return "WORM";
    case 0x05:
        return "CD-ROM";
    case 0x07:
        return "optical";
    }
    return nullptr;
}

// What an ASPI status byte means, in words that follow "...: ". The numbers are those of
// the ASPI for Win32 interface; names in the comments.
const char* StatusWords(uint8_t status)
{
    static const struct {
        uint8_t status;
        const char* words;
    } kWords[] = {
        {SS_PENDING, "it never ended"},
        {SS_ABORTED, "it was aborted, having had no answer in time"},
        {SS_ABORT_FAIL, "it could not be aborted"},
        {SS_ERR, "the device reported an error"},
        {SS_INVALID_CMD, "the layer does not support this request"},
        {SS_INVALID_HA, "the layer knows no such host adapter"},
        {SS_NO_DEVICE, "no device answers at this address"},
        {SS_INVALID_SRB, "the layer found the request malformed"},
        {0xE1, "the data buffer is not aligned as the adapter needs"}, // SS_BUFFER_ALIGN
        {0xE2, "the layer does not work in this mode of Windows"},     // SS_ILLEGAL_MODE
        {0xE3, "no ASPI manager is installed"},                        // SS_NO_ASPI
        {0xE4, "the ASPI layer could not start"},                      // SS_FAILED_INIT
        {0xE5, "the ASPI layer is busy"},                              // SS_ASPI_IS_BUSY
        {0xE6, "the data buffer is too large for the adapter"},        // SS_BUFFER_TO_BIG
        {0xE7, "the ASPI layer's parts are of different versions"},    // SS_MISMATCHED_COMPONENTS
        {SS_NO_ADAPTERS, "the layer found no host adapters"},
        {0xE9, "the layer ran out of memory or handles"},   // SS_INSUFFICIENT_RESOURCES
        {0xEA, "the ASPI layer is shutting down"},          // SS_ASPI_IS_SHUTDOWN
        {0xEB, "the ASPI layer is not installed properly"}, // SS_BAD_INSTALL
    };
    for (const auto& entry : kWords) {
        if (entry.status == status)
            return entry.words;
    }
    return "the layer returned a status that ASPI does not define";
}

std::string Format(const char* format, unsigned a, unsigned b = 0, unsigned c = 0)
{
    char text[128];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

} // namespace

AspiLister::AspiLister(HMODULE module) : inquiryTimeoutMs(kInquiryTimeoutMs), supportInfo(0)
{
    if (module != nullptr)
        layer.Bind(module);
}

void AspiLister::Run()
{
    adapters.clear();
    devices.clear();
    if (!IsBound())
        return;
    supportInfo = layer.SupportInfo();
    if (((supportInfo >> 8) & 0xFF) != SS_COMP)
        return;
    unsigned count = supportInfo & 0xFF;
    for (unsigned id = 0; id < count; ++id)
        ListAdapter(static_cast<uint8_t>(id));
}

void AspiLister::ListAdapter(uint8_t id)
{
    ListedAdapter adapter;
    std::memset(&adapter, 0, sizeof adapter);
    adapter.id = id;
    adapter.maxTargets = kDefaultTargets;
    SRB_HAInquiry inquiry;
    std::memset(&inquiry, 0, sizeof inquiry);
    inquiry.SRB_Cmd = SC_HA_INQUIRY;
    inquiry.SRB_HaId = id;
    adapter.status = static_cast<uint8_t>(layer.Send(&inquiry));
    if (adapter.status == SS_COMP) {
        CopyTrimmed(adapter.manager, inquiry.HA_ManagerId, sizeof inquiry.HA_ManagerId);
        CopyTrimmed(adapter.identifier, inquiry.HA_Identifier, sizeof inquiry.HA_Identifier);
        adapter.letter = LetterOf(adapter.identifier);
        if (inquiry.HA_Unique[3] != 0)
            adapter.maxTargets =
                inquiry.HA_Unique[3] < kMaxTargets ? inquiry.HA_Unique[3] : uint8_t(kMaxTargets);
    }
    adapters.push_back(adapter);

    for (uint8_t target = 0; target < adapter.maxTargets; ++target) {
        SRB_GDEVBlock query;
        std::memset(&query, 0, sizeof query);
        query.SRB_Cmd = SC_GET_DEV_TYPE;
        query.SRB_HaId = id;
        query.SRB_Target = target;
        uint32_t status = layer.Send(&query);
        // A layer without the device type query still answers INQUIRY.
        if (status == SS_NO_DEVICE || status == SS_INVALID_HA)
            continue;
        ListedDevice device;
        std::memset(&device, 0, sizeof device);
        device.adapter = id;
        device.target = target;
        device.letter = adapter.letter;
        device.type = status == SS_COMP ? query.SRB_DeviceType : 0x1F;
        uint8_t data[36] = {};
        device.inquiryStatus = Inquiry(id, target, 0, data);
        if (device.inquiryStatus == SS_COMP) {
            // Peripheral qualifier 3: no device at this address.
            if ((data[0] >> 5) == 3)
                continue;
            device.type = data[0] & 0x1F;
            using namespace InquiryLayout;
            CopyTrimmed(device.vendor, data + kVendorOffset, kVendorLength);
            CopyTrimmed(device.product, data + kProductOffset, kProductLength);
            CopyTrimmed(device.revision, data + kRevisionOffset, kRevisionLength);
        } else if (status != SS_COMP) {
            continue; // neither query found a device here
        }
        devices.push_back(device);
    }
}

uint8_t AspiLister::Inquiry(uint8_t adapter, uint8_t target, uint8_t lun, uint8_t* data)
{
    InquiryBlock* block = new InquiryBlock;
    std::memset(block, 0, sizeof *block);
    SRB_ExecSCSICmd& srb = block->srb;
    if (!AspiLayer::Arm(srb)) {
        delete block;
        return SS_INSUFFICIENT_RESOURCES;
    }
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb.SRB_HaId = adapter;
    srb.SRB_Flags = SRB_DIR_IN | SRB_EVENT_NOTIFY;
    srb.SRB_Target = target;
    srb.SRB_Lun = lun;
    srb.SRB_BufLen = sizeof block->data;
    srb.SRB_BufPointer = block->data;
    srb.SRB_SenseLen = ASPI_SENSE_LEN;
    srb.SRB_CDBLen = 6;
    srb.CDBByte[0] = ScsiOp::kInquiry;
    srb.CDBByte[4] = sizeof block->data;

    AspiRoundTrip trip = layer.Run(srb, inquiryTimeoutMs, kAbortWaitMs);
    if (!trip.givenBack)
        return SS_PENDING; // the layer still owns the block and the event: left to it
    uint8_t result = static_cast<uint8_t>(trip.sent);
    if (result == SS_PENDING)
        result = srb.SRB_Status;
    std::memcpy(data, block->data, sizeof block->data);
    delete block;
    return result;
}

int AspiLister::CdromCount() const
{
    int count = 0;
    for (const ListedDevice& device : devices) {
        if (device.type == DTYPE_CDROM && device.inquiryStatus == SS_COMP)
            ++count;
    }
    return count;
}

std::string AspiLister::Report() const
{
    unsigned status = (supportInfo >> 8) & 0xFF;
    unsigned count = supportInfo & 0xFF;
    std::string text = Format("GetASPI32SupportInfo: 0x%04X (status 0x%02X, %u host adapters)\n",
                              supportInfo & 0xFFFF, status, count);
    if (status != SS_COMP)
        text += std::string("the layer cannot be used: ") + StatusWords(status) + "\n";
    for (const ListedAdapter& adapter : adapters) {
        text += Format("adapter %u: ", adapter.id);
        if (adapter.status == SS_COMP)
            text += std::string("\"") + adapter.identifier + "\", manager \"" + adapter.manager +
                    "\"\n";
        else
            text += std::string("not described: ") + StatusWords(adapter.status) +
                    Format(" (status 0x%02X)\n", adapter.status);
        for (const ListedDevice& device : devices) {
            if (device.adapter != adapter.id)
                continue;
            text += Format("  %u:%u:%u  ", device.adapter, device.target, device.lun);
            const char* name = TypeName(device.type);
            text += name != nullptr ? std::string(name) : Format("type 0x%02X", device.type);
            text += device.letter != 0 ? std::string("  ") + device.letter + ":" : "  --";
            if (device.inquiryStatus == SS_COMP)
                text += std::string("  \"") + device.vendor + "\" \"" + device.product + "\" \"" +
                        device.revision + "\"\n";
            else if (device.inquiryStatus == SS_PENDING)
                text += "  INQUIRY never ended\n";
            else
                text += std::string("  INQUIRY failed: ") + StatusWords(device.inquiryStatus) +
                        Format(" (status 0x%02X)\n", device.inquiryStatus);
        }
    }
    int cdroms = CdromCount();
    text += std::to_string(cdroms) +
            (cdroms == 1 ? " CD-ROM drive answered\n" : " CD-ROM drives answered\n");
    return text;
}
