#include "xml/xml_node_pool.h"

#include <atomic>
#include <new>

#include "platform/page_memory.h"

namespace zephron::xmlnodes {

// The head of a chunk; its nodes follow. `alive` counts the nodes not yet
// freed. While the pool still hands out memory from the chunk it holds
// kHold instead of its nodes so far, which it settles when it moves on:
// one atomic step per chunk, not per node. A node may be freed on another
// thread than its load's (documents move between threads), hence atomic.
// `bytes` is the chunk's size; `paged` says it came from the system's pages
// rather than the heap.
struct alignas(16) Chunk {
  std::atomic<std::size_t> alive;
  std::size_t bytes;
  bool paged;
};

namespace {

constexpr std::size_t kHold = std::size_t{1} << 40;  // more nodes than any chunk holds

void Release(Chunk* chunk, std::size_t count) {
  if (chunk->alive.fetch_sub(count, std::memory_order_acq_rel) == count) {
    const std::size_t bytes = chunk->bytes;
    const bool paged = chunk->paged;
    chunk->~Chunk();
    if (paged) {
      platform::FreePages(chunk, bytes);
    } else {
      ::operator delete(chunk);
    }
  }
}

Chunk*& OwnerOf(void* node) { return static_cast<Chunk**>(node)[-1]; }

// Lists larger than this go to the heap: a chunk moved on from early for
// one would leave the rest of its room unused.
constexpr std::size_t kMaxPooledList = 4096;

thread_local NodePool* tListPool = nullptr;

}  // namespace

NodePool::~NodePool() {
  if (chunk_ != nullptr) Release(chunk_, kHold - handed_);
}

void NodePool::NewChunk(std::size_t slot) {
  std::size_t bytes = nextSize_;
  while (bytes < sizeof(Chunk) + slot) bytes *= 2;
  if (nextSize_ < kMaxChunk) nextSize_ *= 2;
  // A large document's chunks come in large pages: most of a load's memory
  // is its nodes, and on some machines the faults of filling them in 4 KiB
  // pages cost more than the parse.
  char* memory = bytes >= platform::kLargePageBytes ? static_cast<char*>(platform::AllocatePages(bytes)) : nullptr;
  const bool paged = memory != nullptr;
  if (!paged) memory = static_cast<char*>(::operator new(bytes));
  if (chunk_ != nullptr) Release(chunk_, kHold - handed_);
  chunk_ = new (memory) Chunk{kHold, bytes, paged};
  handed_ = 0;
  next_ = memory + sizeof(Chunk);
  end_ = memory + bytes;
}

void* AllocateHeapNode(std::size_t size) {
  void* node = static_cast<char*>(::operator new(kNodePrefix + size)) + kNodePrefix;
  OwnerOf(node) = nullptr;
  return node;
}

ListsFromPool::ListsFromPool(NodePool& pool) : previous_(tListPool) { tListPool = &pool; }

ListsFromPool::~ListsFromPool() { tListPool = previous_; }

void* AllocateList(std::size_t bytes) {
  if (tListPool != nullptr && bytes <= kMaxPooledList) return tListPool->Allocate(bytes);
  return AllocateHeapNode(bytes);
}

void FreeNode(void* node) {
  if (node == nullptr) return;
  if (Chunk* chunk = OwnerOf(node); chunk != nullptr) {
    Release(chunk, 1);
  } else {
    ::operator delete(static_cast<char*>(node) - kNodePrefix);
  }
}

}  // namespace zephron::xmlnodes
