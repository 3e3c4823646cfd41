#include "shellext/view_registry.h"

#include "shellext/shell_api.h"

#include <vector>

namespace kestrel::shellext {

bool ViewRegistry::add(FolderView* view) {
    auto* node = static_cast<Node*>(CoTaskMemAlloc(sizeof(Node)));
    if (node == nullptr) return false;
    node->view = view;
    node->next = nullptr;
    std::lock_guard lock(mutex_);
    if (tail_ == nullptr)
        head_ = node;
    else
        tail_->next = node;
    tail_ = node;
    return true;
}

bool ViewRegistry::remove(FolderView* view) {
    std::lock_guard lock(mutex_);
    Node* previous = nullptr;
    for (Node* node = head_; node != nullptr; previous = node, node = node->next) {
        if (node->view != view) continue;
        (previous == nullptr ? head_ : previous->next) = node->next;
        if (tail_ == node) tail_ = previous;
        CoTaskMemFree(node);
        return true;
    }
    return false;
}

void ViewRegistry::forEach(const std::function<void(FolderView*)>& visit) const {
    std::vector<FolderView*> views;
    {
        std::lock_guard lock(mutex_);
        for (Node* node = head_; node != nullptr; node = node->next) views.push_back(node->view);
    }
    for (FolderView* view : views) visit(view);
}

size_t ViewRegistry::size() const {
    std::lock_guard lock(mutex_);
    size_t count = 0;
    for (Node* node = head_; node != nullptr; node = node->next) ++count;
    return count;
}

void ViewRegistry::clear() {
    std::lock_guard lock(mutex_);
    while (head_ != nullptr) {
        Node* next = head_->next;
        CoTaskMemFree(head_);
        head_ = next;
    }
    tail_ = nullptr;
}

}  // namespace kestrel::shellext
