#include "platform/event_queue.h"

namespace larkspur {
namespace {
constexpr std::size_t kBlockSize = 64;
}

EventQueue::~EventQueue() {
  releaseCurrentData();
  for (Node* n = head_; n; n = n->next) {
    if (n->record.data && n->record.release) n->record.release(n->record.data);
  }
  for (Node* block : blocks_) delete[] block;
}

EventQueue::Node* EventQueue::allocate() {
  if (!pool_) {
    Node* block = new Node[kBlockSize];
    blocks_.push_back(block);
    for (std::size_t i = 0; i < kBlockSize; ++i) {
      block[i].next = pool_;
      pool_ = &block[i];
    }
  }
  Node* node = pool_;
  pool_ = node->next;
  node->next = nullptr;
  return node;
}

void EventQueue::recycle(Node* node) {
  node->record = EventRecord{};
  node->next = pool_;
  pool_ = node;
}

void EventQueue::releaseCurrentData() {
  if (current_.data && current_.release) current_.release(current_.data);
  current_.data = nullptr;
  current_.release = nullptr;
}

std::int32_t EventQueue::takeHead() {
  current_.code = 0;
  releaseCurrentData();
  current_.subtype = -1;
  if (!head_) return 0;
  Node* node = head_;
  head_ = node->next;
  if (!head_) tail_ = nullptr;
  --count_;
  current_ = node->record;
  recycle(node);
  return current_.code;
}

std::int32_t EventQueue::wait(int timeoutMs) {
  if (head_) return takeHead();
  if (!source_ || !source_->dispatchOne(timeoutMs)) {
    current_.code = 0;
    releaseCurrentData();
    current_.subtype = -1;
    return 0;
  }
  if (head_) return takeHead();
  takeHead();
  return -1;
}

int EventQueue::post(std::int32_t code, std::int64_t window, std::int64_t object,
                     std::int64_t subtype, void* data) {
  enqueue(code, object, window, subtype, data, nullptr,
          FlagNoSuppress | FlagPosted | FlagAlwaysWake);
  return 1;
}

void EventQueue::enqueue(std::int32_t code, std::int64_t object, std::int64_t window,
                         std::int64_t subtype, void* data, void (*release)(void*),
                         std::uint32_t flags) {
  if (suppression_ != 0 && !(flags & FlagNoSuppress)) {
    if (data && release) release(data);
    return;
  }
  if (source_) {
    bool wake = code == EventMenu ||
                (code != EventRepaint && ((flags & FlagAlwaysWake) || !source_->hasPending()));
    if (wake) source_->wake();
  }
  if (!(flags & FlagPosted) && code <= 65535 && tail_ && tail_->record.code == code &&
      tail_->record.object == object && tail_->record.window == window &&
      tail_->record.subtype == subtype) {
    // Merged into the identical event already waiting at the tail: ticks do
    // not pile up while the loop is busy.
    if (data && release) release(data);
    return;
  }
  Node* node = allocate();
  node->record = EventRecord{code, flags, object, window, subtype, data, release};
  if (tail_) tail_->next = node;
  else head_ = node;
  tail_ = node;
  ++count_;
}

void EventQueue::purge(std::int32_t code, std::int64_t object, std::int64_t window,
                       std::int64_t subtype) {
  Node* prev = nullptr;
  Node* node = head_;
  while (node) {
    const EventRecord& r = node->record;
    bool match = (code == -1 || r.code == code) && (object == -1 || r.object == object) &&
                 (window == -1 || r.window == window) && (subtype == -1 || r.subtype == subtype);
    Node* next = node->next;
    if (match) {
      if (prev) prev->next = next;
      else head_ = next;
      if (tail_ == node) tail_ = prev;
      if (r.data && r.release) r.release(r.data);
      recycle(node);
      --count_;
    } else {
      prev = node;
    }
    node = next;
  }
}

void EventQueue::purgeWindow(std::int64_t window) { purge(-1, -1, window, -1); }

int EventQueue::addFilter(Filter filter) {
  int token = nextFilterToken_++;
  filters_.push_back({token, std::move(filter)});
  return token;
}

void EventQueue::removeFilter(int token) {
  for (auto it = filters_.begin(); it != filters_.end(); ++it) {
    if (it->token == token) {
      filters_.erase(it);
      return;
    }
  }
}

bool EventQueue::offerToFilters(const KeyEvent& event) {
  bool consumed = false;
  // A filter may remove itself (a field destroyed by its own key press), so
  // walk a copy.
  auto snapshot = filters_;
  for (auto it = snapshot.rbegin(); it != snapshot.rend(); ++it) {
    if (it->filter(event)) consumed = true;
  }
  return consumed;
}

}  // namespace larkspur
