// The in-memory backend: a tree of folders and files held in memory for the
// device's lifetime. Folders list their entries in the order they were
// created; file data counts against a fixed capacity.
#include "sim/filex_backend.h"

#include <algorithm>
#include <chrono>
#include <limits>

namespace kestrel::sim {

namespace {

constexpr uint8_t ATTR_READ_ONLY = 0x01;
constexpr uint8_t ATTR_DIRECTORY = 0x10;
constexpr uint8_t ATTR_ARCHIVE = 0x20;
constexpr uint64_t MAX_FILE_SIZE = std::numeric_limits<uint32_t>::max();

struct Node {
    std::string name;
    bool directory = false;
    uint8_t attributes = 0;
    uint16_t dosTime = 0;
    uint16_t dosDate = 0;
    uint32_t id = 0;
    std::vector<uint8_t> data;
    std::vector<std::shared_ptr<Node>> children;
    std::weak_ptr<Node> parent;
};
using NodePtr = std::shared_ptr<Node>;

// The current time as MS-DOS words (UTC; the device has no time zone).
void stampNow(Node& node) {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const auto today = floor<days>(now);
    const year_month_day date{today};
    const hh_mm_ss time{floor<seconds>(now - today)};
    const int year = std::clamp(static_cast<int>(date.year()), 1980, 2107);
    node.dosDate = static_cast<uint16_t>((year - 1980) * 512 + static_cast<unsigned>(date.month()) * 32 +
                                         static_cast<unsigned>(date.day()));
    node.dosTime = static_cast<uint16_t>(time.hours().count() * 2048 + time.minutes().count() * 32 +
                                         time.seconds().count() / 2);
}

FileInfo infoOf(const Node& node) {
    FileInfo info;
    info.directory = node.directory;
    info.attributes = node.attributes;
    info.size = static_cast<uint32_t>(node.data.size());
    info.dosTime = node.dosTime;
    info.dosDate = node.dosDate;
    info.id = node.id;
    return info;
}

bool validName(std::string_view name) {
    return !name.empty() && name.find('\0') == std::string_view::npos;
}

// What the files and the backend share: the tree and its accounting.
struct Store {
    explicit Store(uint64_t bytes) : capacity(bytes) {
        root = std::make_shared<Node>();
        root->directory = true;
        root->attributes = ATTR_DIRECTORY;
        root->id = nextId++;
        stampNow(*root);
    }

    uint64_t used() const { return usedBelow(*root); }
    static uint64_t usedBelow(const Node& node) {
        uint64_t total = node.data.size();
        for (const auto& child : node.children) total += usedBelow(*child);
        return total;
    }

    uint64_t capacity;
    uint32_t nextId = 1;
    NodePtr root;
};

NodePtr findChild(const Node& folder, std::string_view name) {
    for (const auto& child : folder.children)
        if (sameName(child->name, name)) return child;
    return nullptr;
}

class MemoryFile final : public FilexFile {
public:
    MemoryFile(std::shared_ptr<Store> store, NodePtr node, uint32_t flags)
        : store_(std::move(store)), node_(std::move(node)), flags_(flags) {}

    int32_t read(uint8_t* out, uint32_t length) override {
        if ((flags_ & OPEN_ACCESS_MASK) == OPEN_WRITE_ONLY) return -FX_EBADF;
        const auto& data = node_->data;
        if (position_ >= data.size()) return 0;
        const auto count = static_cast<uint32_t>(std::min<uint64_t>(length, data.size() - position_));
        std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(position_), count, out);
        position_ += count;
        return static_cast<int32_t>(count);
    }

    int32_t write(const uint8_t* bytes, uint32_t length) override {
        if ((flags_ & OPEN_ACCESS_MASK) == OPEN_READ_ONLY) return -FX_EBADF;
        auto& data = node_->data;
        if (flags_ & OPEN_APPEND) position_ = data.size();
        if (length == 0) return 0;
        const uint64_t free = store_->capacity - std::min(store_->capacity, store_->used());
        const uint64_t limit = std::min<uint64_t>(data.size() + free, MAX_FILE_SIZE);
        if (position_ >= limit) return position_ >= MAX_FILE_SIZE ? -FX_EFBIG : -FX_ENOSPC;
        const auto count = static_cast<uint32_t>(std::min<uint64_t>(length, limit - position_));
        if (position_ + count > data.size()) data.resize(position_ + count, 0);
        std::copy_n(bytes, count, data.begin() + static_cast<std::ptrdiff_t>(position_));
        position_ += count;
        stampNow(*node_);
        node_->attributes |= ATTR_ARCHIVE;
        return static_cast<int32_t>(count);
    }

    int64_t seek(int64_t offset, int32_t origin) override {
        int64_t base = 0;
        switch (origin) {
        case SEEK_FROM_START: base = 0; break;
        case SEEK_FROM_CURRENT: base = static_cast<int64_t>(position_); break;
        case SEEK_FROM_END: base = static_cast<int64_t>(node_->data.size()); break;
        default: return -FX_EINVAL;
        }
        const int64_t target = base + offset;
        if (target < 0) return -FX_EINVAL;
        position_ = static_cast<uint64_t>(target);
        return target;
    }

    int32_t stat(FileInfo& info) override {
        info = infoOf(*node_);
        return 0;
    }
    int32_t sync() override { return 0; }
    int32_t close() override { return 0; }

private:
    std::shared_ptr<Store> store_;
    NodePtr node_;
    uint32_t flags_;
    uint64_t position_ = 0;
};

class MemoryDirectory final : public FilexDirectory {
public:
    explicit MemoryDirectory(NodePtr folder) : folder_(std::move(folder)) { rewind(); }

    int32_t next(DirectoryEntry& entry) override {
        if (index_ >= entries_.size()) return 0;
        entry = entries_[index_++];
        return 1;
    }

    // The listing is taken at open and at every rewind: entries created or
    // removed meanwhile show up at the next rewind.
    void rewind() override {
        entries_.clear();
        index_ = 0;
        if (const auto parent = folder_->parent.lock()) {
            entries_.push_back({".", infoOf(*folder_)});
            entries_.push_back({"..", infoOf(*parent)});
        }
        for (const auto& child : folder_->children) entries_.push_back({child->name, infoOf(*child)});
    }

private:
    NodePtr folder_;
    std::vector<DirectoryEntry> entries_;
    size_t index_ = 0;
};

class MemoryBackend final : public FilexBackend {
public:
    explicit MemoryBackend(uint64_t capacity) : store_(std::make_shared<Store>(capacity)) {}

    int32_t open(std::string_view path, uint32_t flags, std::unique_ptr<FilexFile>& file) override {
        const uint32_t access = flags & OPEN_ACCESS_MASK;
        if (access == OPEN_ACCESS_MASK) return -FX_EINVAL;
        Location at;
        if (const int32_t error = locate(path, at)) return error;
        if (!at.parent) return -FX_EISDIR;  // the root
        NodePtr node = findChild(*at.parent, at.leaf);
        if (node) {
            if ((flags & OPEN_CREATE) && (flags & OPEN_EXCLUSIVE)) return -FX_EEXIST;
            if (node->directory) return -FX_EISDIR;
            if (access != OPEN_READ_ONLY && (node->attributes & ATTR_READ_ONLY)) return -FX_EACCES;
            if (access != OPEN_READ_ONLY && (flags & OPEN_TRUNCATE) && !node->data.empty()) {
                node->data.clear();
                node->data.shrink_to_fit();
                stampNow(*node);
            }
        } else {
            if (!(flags & OPEN_CREATE)) return -FX_ENOENT;
            node = create(at.parent, at.leaf, false);
        }
        file = std::make_unique<MemoryFile>(store_, std::move(node), flags);
        return 0;
    }

    int32_t openDirectory(std::string_view path, std::unique_ptr<FilexDirectory>& directory) override {
        NodePtr node;
        if (const int32_t error = find(path, node)) return error;
        if (!node->directory) return -FX_ENOTDIR;
        directory = std::make_unique<MemoryDirectory>(std::move(node));
        return 0;
    }

    int32_t unlink(std::string_view path) override {
        NodePtr node;
        if (const int32_t error = find(path, node)) return error;
        if (node->directory) return -FX_EISDIR;
        if (node->attributes & ATTR_READ_ONLY) return -FX_EACCES;
        detach(node);
        return 0;
    }

    int32_t mkdir(std::string_view path, uint32_t) override {
        Location at;
        if (const int32_t error = locate(path, at)) return error;
        if (!at.parent || findChild(*at.parent, at.leaf)) return -FX_EEXIST;
        create(at.parent, at.leaf, true);
        return 0;
    }

    int32_t rmdir(std::string_view path) override {
        NodePtr node;
        if (const int32_t error = find(path, node)) return error;
        if (node == store_->root) return -FX_EBUSY;
        if (!node->directory) return -FX_ENOTDIR;
        if (!node->children.empty()) return -FX_ENOTEMPTY;
        detach(node);
        return 0;
    }

    int32_t sync() override { return 0; }

private:
    // Where a path leads: its parent folder (null for the root) and the
    // last component.
    struct Location {
        NodePtr parent;
        std::string leaf;
    };

    int32_t locate(std::string_view path, Location& at) const {
        std::vector<std::string> components;
        if (!splitPath(path, components)) return -FX_ENOENT;
        for (const auto& name : components) {
            if (name.size() > MAX_NAME) return -FX_ENAMETOOLONG;
            if (!validName(name)) return -FX_EINVAL;
        }
        if (components.empty()) {
            at = {};
            return 0;
        }
        NodePtr folder = store_->root;
        for (size_t i = 0; i + 1 < components.size(); ++i) {
            folder = findChild(*folder, components[i]);
            if (!folder) return -FX_ENOENT;
            if (!folder->directory) return -FX_ENOTDIR;
        }
        at = {std::move(folder), components.back()};
        return 0;
    }

    int32_t find(std::string_view path, NodePtr& node) const {
        Location at;
        if (const int32_t error = locate(path, at)) return error;
        node = at.parent ? findChild(*at.parent, at.leaf) : store_->root;
        return node ? 0 : -FX_ENOENT;
    }

    NodePtr create(const NodePtr& parent, const std::string& name, bool directory) {
        auto node = std::make_shared<Node>();
        node->name = name;
        node->directory = directory;
        node->attributes = directory ? ATTR_DIRECTORY : ATTR_ARCHIVE;
        node->id = store_->nextId++;
        node->parent = parent;
        stampNow(*node);
        parent->children.push_back(node);
        return node;
    }

    static void detach(const NodePtr& node) {
        const auto parent = node->parent.lock();
        if (!parent) return;
        auto& siblings = parent->children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), node), siblings.end());
        node->parent.reset();
    }

    std::shared_ptr<Store> store_;
};

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool splitPath(std::string_view path, std::vector<std::string>& components) {
    components.clear();
    if (path.empty() || path.front() != '/') return false;
    size_t start = 0;
    while (start <= path.size()) {
        const size_t end = std::min(path.find('/', start), path.size());
        const std::string_view part = path.substr(start, end - start);
        if (part == "..") {
            if (!components.empty()) components.pop_back();
        } else if (!part.empty() && part != ".") {
            components.emplace_back(part);
        }
        start = end + 1;
    }
    return true;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    return true;
}

std::unique_ptr<FilexBackend> makeMemoryBackend(uint64_t capacity) { return std::make_unique<MemoryBackend>(capacity); }

}  // namespace kestrel::sim
