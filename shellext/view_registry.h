// All open folder views of the process, so that a change made through any
// object of the extension reaches every view that shows the folder. A
// singly linked list with head and tail; its nodes come from the shell
// allocator (the COM task allocator). Each Explorer window runs on a thread
// of its own, so the list is guarded by a lock.
#pragma once

#include <functional>
#include <mutex>

namespace kestrel::shellext {

class FolderView;

class ViewRegistry {
public:
    ViewRegistry() = default;
    ~ViewRegistry() { clear(); }
    ViewRegistry(const ViewRegistry&) = delete;
    ViewRegistry& operator=(const ViewRegistry&) = delete;

    // Appends `view` at the tail; false when no node can be allocated.
    bool add(FolderView* view);
    // Removes the first node holding `view`; false when there is none.
    bool remove(FolderView* view);
    // Calls `visit` for each view, head to tail, on a copy of the list taken
    // under the lock (a visit may add or remove views).
    void forEach(const std::function<void(FolderView*)>& visit) const;
    size_t size() const;
    // Frees every node.
    void clear();

private:
    struct Node {
        FolderView* view;
        Node* next;
    };

    mutable std::mutex mutex_;
    Node* head_ = nullptr;
    Node* tail_ = nullptr;
};

}  // namespace kestrel::shellext
