// All open folder views of the process, so that a change made through any
// object of the extension reaches every view that shows the folder. A
// singly linked list with head and tail; its nodes come from the shell
// allocator (the COM task allocator). Each Explorer window runs on a thread
// of its own, so the list is guarded by a lock, and a view is used outside
// the lock only while a reference to it is held (holdAll).
#pragma once

#include <mutex>
#include <utility>
#include <vector>

namespace kestrel::shellext {

class FolderView;

// A reference to a view for as long as the object lives.
class HeldView {
public:
    // Takes over a reference the caller holds.
    explicit HeldView(FolderView* view) : view_(view) {}
    ~HeldView();
    HeldView(HeldView&& other) noexcept : view_(std::exchange(other.view_, nullptr)) {}
    HeldView& operator=(HeldView&& other) noexcept;
    HeldView(const HeldView&) = delete;
    HeldView& operator=(const HeldView&) = delete;

    FolderView* get() const { return view_; }
    FolderView* operator->() const { return view_; }

private:
    FolderView* view_;
};

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
    // Every view that is still alive, each with a reference taken under the
    // lock, head to tail. A view whose last reference is gone (its
    // destructor is on the way to remove it) is left out.
    [[nodiscard]] std::vector<HeldView> holdAll() const;
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
