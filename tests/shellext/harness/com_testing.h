// Checks for calling COM objects the way Explorer does and watching what
// they do: out-parameters are filled with 0xdeadbeef before a call (so a
// method that leaves one unset is seen), and every object a test ends with
// must be released to a count of 0.
#pragma once

#include "shellext/shell_api.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>

namespace kestrel::shellext::test {

inline constexpr uintptr_t DEADBEEF = 0xdeadbeef;

// A pointer that is 0xdeadbeef, for out-parameters.
template <class T>
T* deadbeef() {
    return reinterpret_cast<T*>(DEADBEEF);
}

// The text of an HRESULT for messages: "0x80004002".
std::string hresultText(HRESULT result);

// An owned interface pointer. release() gives the count that Release
// returned; the destructor releases silently (a test that cares about the
// final count calls expectLastRelease).
template <class T>
class ComRef {
public:
    ComRef() = default;
    explicit ComRef(T* pointer) : pointer_(pointer) {}
    ComRef(ComRef&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
    ComRef& operator=(ComRef&& other) noexcept {
        if (this != &other) {
            reset();
            pointer_ = std::exchange(other.pointer_, nullptr);
        }
        return *this;
    }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ~ComRef() { reset(); }

    T* get() const { return pointer_; }
    T* operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }
    // The address to receive an interface, pre-filled with 0xdeadbeef.
    T** out() {
        reset();
        pointer_ = deadbeef<T>();
        return &pointer_;
    }
    void** outVoid() { return reinterpret_cast<void**>(out()); }
    // After a call that failed: the out-parameter must have become null.
    bool cleared() const { return pointer_ == nullptr; }

    ULONG release() {
        if (!valid()) {
            pointer_ = nullptr;
            return 0;
        }
        return std::exchange(pointer_, nullptr)->Release();
    }
    void reset() { (void)release(); }

private:
    bool valid() const { return pointer_ != nullptr && pointer_ != deadbeef<T>(); }
    T* pointer_ = nullptr;
};

// Releases `object` and expects the count to reach 0.
template <class T>
void expectLastRelease(ComRef<T>& object, const char* what) {
    ASSERT_TRUE(object) << what << ": no object";
    EXPECT_EQ(object.release(), 0u) << what << ": references left after the last release";
}

// STRRET as text (freeing what it holds).
std::string strretText(STRRET& value);

}  // namespace kestrel::shellext::test
