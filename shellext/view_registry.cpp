#include "shellext/view_registry.h"

#include "shellext/folder_view.h"
#include "shellext/shell_api.h"

#include <vector>

namespace kestrel::shellext {

HeldView::~HeldView() {
    if (view_ != nullptr) view_->Release();
}

HeldView& HeldView::operator=(HeldView&& other) noexcept {
    if (this != &other) {
        if (view_ != nullptr) view_->Release();
        view_ = std::exchange(other.view_, nullptr);
    }
    return *this;
}

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

std::vector<HeldView> ViewRegistry::holdAll() const {
    std::vector<HeldView> held;
    std::lock_guard lock(mutex_);
    for (Node* node = head_; node != nullptr; node = node->next)
        if (node->view->addRefIfAlive()) held.emplace_back(node->view);
    return held;
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
