// DeviceFileStream::CopyTo: the device file into any stream, under a
// progress dialog of its own that stays up at least 1.5 s for a small file.
// A cancel (or a short write) raises the cancel guard so that Explorer's
// requests for the remaining files of the transfer are refused.
#include "platform/clock.h"
#include "shellext/cancel_guard.h"
#include "shellext/device_file_stream.h"
#include "shellext/progress_dialog.h"
#include "shellext/trace.h"
#include "shellext/user_messages.h"

#include <vector>

namespace kestrel::shellext {

namespace {

constexpr uint32_t COPY_BUFFER = 16384;
constexpr uint32_t SMALL_FILE = 500000;
constexpr uint32_t SMALL_FILE_LEAD_MS = 1000;
constexpr uint32_t SMALL_FILE_TAIL_MS = 500;

std::string byteSizeText(uint32_t bytes) {
    char text[64] = {};
    StrFormatByteSizeA(bytes, text, sizeof text);
    return text;
}

// The destination's name as its Stat gives it, for the traces.
std::string statName(IStream* destination) {
    STATSTG stat{};
    if (FAILED(destination->Stat(&stat, STATFLAG_DEFAULT))) return {};
    std::string name = ansiText(stat.pwcsName);
    CoTaskMemFree(stat.pwcsName);
    return name;
}

// Holds a reference on the destination for the copy.
class Held {
public:
    explicit Held(IStream* stream) : stream_(stream) { stream_->AddRef(); }
    ~Held() { stream_->Release(); }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;

private:
    IStream* stream_;
};

}  // namespace

HRESULT DeviceFileStream::CopyTo(IStream* destination, ULARGE_INTEGER count, ULARGE_INTEGER* read,
                                 ULARGE_INTEGER* written) {
    SHX_TRACE("CopyTo\n");
    if (!CancelGuard::process().admitNow()) return STG_E_REVERTED;
    if (destination == nullptr) return STG_E_INVALIDPOINTER;
    const Held held(destination);
    if (!isOpen()) return STG_E_INVALIDHANDLE;
    if (count.QuadPart == 0) return S_OK;

    filex::FilexStat stat;
    device_.fstat(fd_, &stat);
    const uint32_t size = stat.fileSize();
    const bool small = size < SMALL_FILE;

    auto dialog = ProgressDialog::create("File copy from Kestrel ...");
    if (dialog) dialog->setLine(1, formatText("from %s", path_.c_str()), true);
    std::vector<uint8_t> buffer;
    try {
        buffer.resize(COPY_BUFFER);
    } catch (const std::bad_alloc&) {
        return STG_E_INVALIDPOINTER;
    }
    if (read != nullptr) read->QuadPart = 0;
    if (written != nullptr) written->QuadPart = 0;
    if (dialog) dialog->start(nullptr);
    if (small) platform::sleepMs(SMALL_FILE_LEAD_MS);

    uint32_t done = 0;
    for (;;) {
        const ULONG got = readDevice(buffer.data(), COPY_BUFFER);
        if (read != nullptr) read->QuadPart += got;
        if (got == 0) {
            bool cancelled = false;
            if (small) {
                platform::sleepMs(SMALL_FILE_TAIL_MS);
                cancelled = dialog && dialog->cancelled();
            }
            dialog.reset();
            if (!cancelled) return S_OK;
            CancelGuard::process().raiseNow();
            SHX_TRACE("CopyTo: name of file : %s\n", statName(destination).c_str());
            SHX_TRACE("CopyTo: cancel on the end\n");
            return STG_E_REVERTED;
        }
        ULONG put = 0;
        destination->Write(buffer.data(), got, &put);
        if (written != nullptr) written->QuadPart += put;
        if (put < got || (dialog && dialog->cancelled())) break;
        done += got;
        if (dialog) {
            // 64-bit: done * 100 overflows 32 bits beyond 42 MB.
            const auto percent = static_cast<uint32_t>(size == 0 ? 100 : uint64_t{done} * 100 / size);
            dialog->setLine(3, formatText("%s of %s (%u%%)", byteSizeText(done).c_str(), byteSizeText(size).c_str(),
                                          percent));
            dialog->setProgress(done, size);
        }
    }
    dialog.reset();
    CancelGuard::process().raiseNow();
    SHX_TRACE("CopyTo: name of file : %s\n", statName(destination).c_str());
    SHX_TRACE("CopyTo: cancel in the middle\n");
    return STG_E_REVERTED;
}

}  // namespace kestrel::shellext
