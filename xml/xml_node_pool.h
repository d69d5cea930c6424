// Node memory of the readers: a load takes its nodes from large chunks
// instead of one heap block each. Every node, pooled or made with plain
// `new`, has one word before it that names its chunk (none for a heap
// node), so nodes are still owned, deleted and moved between documents one
// by one: a chunk counts the nodes still alive in it and goes with the last.
// The text reader's child lists come from the same chunks, by the same rule.
#pragma once

#include <cstddef>
#include <new>

namespace zephron::xmlnodes {

struct Chunk;

// Room for a node with the word before it; the word sits at
// static_cast<Chunk**>(node)[-1].
inline constexpr std::size_t kNodePrefix = sizeof(Chunk*);

// Hands out the memory of one load's nodes, chunk after chunk, the chunks
// growing from small (a small document wastes little) to kMaxChunk.
class NodePool {
 public:
  NodePool() = default;
  ~NodePool();
  NodePool(const NodePool&) = delete;
  NodePool& operator=(const NodePool&) = delete;

  // Memory for one node of `size` bytes, counted in its chunk.
  void* Allocate(std::size_t size) {
    const std::size_t slot = (kNodePrefix + size + alignof(Chunk*) - 1) & ~(alignof(Chunk*) - 1);
    if (static_cast<std::size_t>(end_ - next_) < slot) NewChunk(slot);
    void* node = next_ + kNodePrefix;
    next_ += slot;
    static_cast<Chunk**>(node)[-1] = chunk_;
    ++handed_;
    return node;
  }

 private:
  // Moves on to a new chunk with room for at least `slot` bytes.
  void NewChunk(std::size_t slot);

  static constexpr std::size_t kFirstChunk = 4096;
  static constexpr std::size_t kMaxChunk = std::size_t{2} << 20;  // a large page

  Chunk* chunk_ = nullptr;
  char* next_ = nullptr;
  char* end_ = nullptr;
  std::size_t handed_ = 0;  // nodes handed out from chunk_
  std::size_t nextSize_ = kFirstChunk;
};

// A node's memory from the heap, with the empty word before it.
void* AllocateHeapNode(std::size_t size);
// Gives back a node's memory, pooled or not.
void FreeNode(void* node);

// While one lives, the child lists made on its thread come from its pool:
// for a reader that makes each list once, at its final size (a list grown
// step by step would leave its old room unused in the chunk).
class ListsFromPool {
 public:
  explicit ListsFromPool(NodePool& pool);
  ~ListsFromPool();
  ListsFromPool(const ListsFromPool&) = delete;
  ListsFromPool& operator=(const ListsFromPool&) = delete;

 private:
  NodePool* previous_;
};

// Memory for a child list, with the word before it as a node has: from the
// pool of the innermost ListsFromPool on this thread while the list is
// small, else from the heap. Freed with FreeNode.
void* AllocateList(std::size_t bytes);

// The allocator of the child lists; every list frees its room with FreeNode,
// so any two are interchangeable.
template <class T>
struct ListAllocator {
  static_assert(alignof(T) <= kNodePrefix);
  using value_type = T;
  ListAllocator() = default;
  template <class U>
  ListAllocator(const ListAllocator<U>&) noexcept {}
  T* allocate(std::size_t n) {
    if (n > (static_cast<std::size_t>(-1) - 64) / sizeof(T)) throw std::bad_array_new_length();
    return static_cast<T*>(AllocateList(n * sizeof(T)));
  }
  void deallocate(T* p, std::size_t) noexcept { FreeNode(p); }
  friend bool operator==(const ListAllocator&, const ListAllocator&) { return true; }
};

}  // namespace zephron::xmlnodes
