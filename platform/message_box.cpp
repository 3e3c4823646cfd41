#include "platform/message_box.h"

#include "platform/native_message_box.h"

#include <cstdio>
#include <mutex>

namespace kestrel::platform {

namespace {

// The sink is process-wide by nature: message boxes are shown from deep
// inside the product, and tests replace the sink for the whole process.
struct SinkSlot {
    std::mutex mutex;
    MessageSink sink;
};

SinkSlot& sinkSlot() {
    static SinkSlot slot;
    return slot;
}

MessageSink currentSink() {
    auto& slot = sinkSlot();
    std::lock_guard lock(slot.mutex);
    return slot.sink;
}

}  // namespace

MessageAnswer showMessageBox(const MessageBoxRequest& request) {
    // Called outside the lock: a sink may take as long as a user does, or
    // show a message box of its own.
    const MessageSink sink = currentSink();
    return sink ? sink(request) : detail::nativeMessageBox(request);
}

MessageSink setMessageSink(MessageSink sink) {
    auto& slot = sinkSlot();
    std::lock_guard lock(slot.mutex);
    std::swap(slot.sink, sink);
    return sink;
}

MessageAnswer consoleMessageSink(const MessageBoxRequest& request) {
    const bool endsLine = !request.text.empty() && request.text.back() == '\n';
    if (request.caption.empty()) std::fprintf(stderr, "%s%s", request.text.c_str(), endsLine ? "" : "\n");
    else std::fprintf(stderr, "%s: %s%s", request.caption.c_str(), request.text.c_str(), endsLine ? "" : "\n");
    std::fflush(stderr);
    const bool yesNo = request.buttons == MessageButtons::YesNo || request.buttons == MessageButtons::YesNoCancel;
    return yesNo ? MessageAnswer::Yes : MessageAnswer::Ok;
}

}  // namespace kestrel::platform
