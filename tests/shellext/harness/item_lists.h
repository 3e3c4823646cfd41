// Item identifier lists on the test's side, written from the layout of the
// extension's items and independent of its code: building elements and
// lists to hand to a folder, reading the ones it hands out.
//
//   cb(2) type(4) size(4) attributes(4) time(4) date(4) N(4) T(4)
//   name(N, with its zero) type text(T) padding(3)     cb = 33 + N + T
#pragma once

#include "shellext/shell_api.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kestrel::shellext::test {

enum : uint32_t { TYPE_DISK = 0, TYPE_FOLDER = 1, TYPE_FILE = 2 };

struct TestItem {
    uint32_t type = TYPE_FILE;
    std::string name;
    std::string typeText;
    uint32_t size = 0;
    uint32_t attributes = 0;
    uint32_t dosTime = 0;
    uint32_t dosDate = 0;
};

TestItem diskItem(const std::string& name);
TestItem folderItem(const std::string& name);
TestItem fileItem(const std::string& name, uint32_t size = 0, const std::string& typeText = "File");

// The bytes of one element.
std::vector<uint8_t> elementBytes(const TestItem& item);

// A list the test owns: the elements and a three-byte terminator (or a
// foreign two-byte one).
class TestList {
public:
    TestList() { bytes_.assign(3, 0); }
    explicit TestList(std::vector<TestItem> items);
    LPCITEMIDLIST get() const { return reinterpret_cast<LPCITEMIDLIST>(bytes_.data()); }
    const std::vector<uint8_t>& bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

// What an element holds; `cb` 0 when the pointer is null.
struct ReadItem {
    uint16_t cb = 0;
    uint32_t type = 0;
    uint32_t size = 0;
    uint32_t attributes = 0;
    uint32_t dosTime = 0;
    uint32_t dosDate = 0;
    uint32_t nameLength = 0;
    uint32_t typeLength = 0;
    std::string name;  // without its zero
    std::string typeText;
    bool paddingZero = false;  // the three bytes after the type text
};

ReadItem readItem(LPCITEMIDLIST element);
// All elements up to the terminator.
std::vector<ReadItem> readList(LPCITEMIDLIST list);
std::vector<std::string> namesOf(const std::vector<ReadItem>& items);

// The "qlxshlextDataFormat" block of Copy and Cut, written from its layout:
// cut flag, count, the folder's offset, the items' offsets (all 32-bit),
// then the folder's absolute list and the item lists, each with a
// three-byte terminator, and one closing zero.
std::vector<uint8_t> deviceItemsBlock(bool cut, LPCITEMIDLIST folder, const std::vector<LPCITEMIDLIST>& items);

// A list from the shell allocator, freed with CoTaskMemFree.
struct TaskMemFree {
    void operator()(void* block) const { CoTaskMemFree(block); }
};
using ShellList = std::unique_ptr<ITEMIDLIST, TaskMemFree>;

// The absolute identifier that Explorer gives the device root: My Computer
// followed by the namespace item of the folder class (the 20-byte element
// of a class under My Computer).
ShellList deviceRootIdentifier();

}  // namespace kestrel::shellext::test
