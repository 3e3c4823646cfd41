#include "tests/shellext/harness/com_testing.h"

#include <cstdio>

namespace kestrel::shellext::test {

namespace {

// A test program that faults ends at once with a line naming the fault,
// instead of waiting for a debugger that nobody attends.
LONG WINAPI reportFault(EXCEPTION_POINTERS* fault) {
    std::fprintf(stderr, "fault %08lX at %p: the test program ends\n",
                 static_cast<unsigned long>(fault->ExceptionRecord->ExceptionCode),
                 fault->ExceptionRecord->ExceptionAddress);
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

const bool faultsReported = [] {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(reportFault);
    return true;
}();

}  // namespace

std::string hresultText(HRESULT result) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(result));
    return text;
}

std::string strretText(STRRET& value) {
    char text[MAX_PATH * 2] = {};
    // StrRetToBuf frees the string of an STRRET_WSTR.
    if (FAILED(StrRetToBufA(&value, nullptr, text, sizeof text))) return "<bad STRRET>";
    return text;
}

}  // namespace kestrel::shellext::test
