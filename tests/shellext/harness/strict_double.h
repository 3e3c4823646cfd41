// Hand-written doubles of Explorer's objects. A double answers
// QueryInterface for the interfaces it lists and nothing else, counts its
// references without ever deleting itself (the test owns it), and fails the
// running test on every call that the test did not expect: a method the
// double does not override answers through unexpected().
#pragma once

#include "shellext/shell_api.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrel::shellext::test {

template <class... Interfaces>
class StrictDouble : public Interfaces... {
public:
    explicit StrictDouble(std::string name) : name_(std::move(name)) {}
    virtual ~StrictDouble() {
        EXPECT_EQ(references_, 0L) << name_ << ": references left when the test ended";
    }
    StrictDouble(const StrictDouble&) = delete;
    StrictDouble& operator=(const StrictDouble&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (IsEqualIID(riid, IID_IUnknown))
            *out = static_cast<IUnknown*>(static_cast<FirstInterface*>(this));
        else
            (void)(answer<Interfaces>(riid, out) || ...);
        if (*out == nullptr) {
            ++refusedQueries_;
            return E_NOINTERFACE;
        }
        ++references_;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references_); }
    ULONG STDMETHODCALLTYPE Release() override {
        if (references_ == 0) {
            ADD_FAILURE() << name_ << ": released more often than referenced";
            return 0;
        }
        return static_cast<ULONG>(--references_);
    }

    long references() const { return references_; }
    int refusedQueries() const { return refusedQueries_; }
    const std::string& name() const { return name_; }

protected:
    HRESULT unexpected(const char* method) {
        ADD_FAILURE() << name_ << ": unexpected call of " << method;
        return E_NOTIMPL;
    }

private:
    template <class Interface>
    bool answer(REFIID riid, void** out) {
        if (!IsEqualIID(riid, __uuidof(Interface))) return false;
        *out = static_cast<Interface*>(this);
        return true;
    }
    template <class First, class...>
    struct Head {
        using type = First;
    };
    using FirstInterface = typename Head<Interfaces...>::type;

    std::string name_;
    long references_ = 0;
    int refusedQueries_ = 0;
};

// An object that must not be used at all: the outer object of an
// aggregation that the class factory has to refuse.
class StrictUnknown final : public StrictDouble<IUnknown> {
public:
    StrictUnknown() : StrictDouble("outer object") {}
};

// A bind context that must not be touched.
class StrictBindCtx final : public StrictDouble<IBindCtx> {
public:
    StrictBindCtx() : StrictDouble("bind context") {}
    HRESULT STDMETHODCALLTYPE RegisterObjectBound(IUnknown*) override { return unexpected("RegisterObjectBound"); }
    HRESULT STDMETHODCALLTYPE RevokeObjectBound(IUnknown*) override { return unexpected("RevokeObjectBound"); }
    HRESULT STDMETHODCALLTYPE ReleaseBoundObjects() override { return unexpected("ReleaseBoundObjects"); }
    HRESULT STDMETHODCALLTYPE SetBindOptions(BIND_OPTS*) override { return unexpected("SetBindOptions"); }
    HRESULT STDMETHODCALLTYPE GetBindOptions(BIND_OPTS*) override { return unexpected("GetBindOptions"); }
    HRESULT STDMETHODCALLTYPE GetRunningObjectTable(IRunningObjectTable**) override {
        return unexpected("GetRunningObjectTable");
    }
    HRESULT STDMETHODCALLTYPE RegisterObjectParam(LPOLESTR, IUnknown*) override {
        return unexpected("RegisterObjectParam");
    }
    HRESULT STDMETHODCALLTYPE GetObjectParam(LPOLESTR, IUnknown**) override { return unexpected("GetObjectParam"); }
    HRESULT STDMETHODCALLTYPE EnumObjectParam(IEnumString**) override { return unexpected("EnumObjectParam"); }
    HRESULT STDMETHODCALLTYPE RevokeObjectParam(LPOLESTR) override { return unexpected("RevokeObjectParam"); }
};

}  // namespace kestrel::shellext::test
