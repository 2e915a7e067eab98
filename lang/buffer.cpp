#include "lang/buffer.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <limits>

#include "core/lifecycle.h"
#include "lang/exception.h"

namespace zk::util::detail {

namespace {

// The largest capacity: the largest multiple of 16 a signed 32-bit count
// holds.
constexpr std::int64_t kMaxCapacity = 0x7FFFFFF0;

std::atomic<ReallocFunction> g_reallocForTesting{nullptr};

std::int64_t round16(std::int64_t count) noexcept { return (count + 15) & ~std::int64_t{15}; }

// Storage for capacity elements in place of data (which stays valid when
// this throws).
void* reallocate(void* data, std::int64_t capacity, std::size_t elementSize) {
  if (capacity > kMaxCapacity ||
      static_cast<std::uint64_t>(capacity) > std::numeric_limits<std::size_t>::max() / elementSize) {
    ZKCoreOutOfMemory();
  }
  const std::size_t bytes = static_cast<std::size_t>(capacity) * elementSize;
  const ReallocFunction replacement = g_reallocForTesting.load();
  void* moved = replacement != nullptr ? replacement(data, bytes) : std::realloc(data, bytes);
  if (moved == nullptr) ZKCoreOutOfMemory();
  return moved;
}

}  // namespace

void initialiseStorage(GrowableStorage& storage, const void* elements, std::int32_t length, std::int32_t capacity,
                       std::size_t elementSize) {
  if (elements == nullptr && length > 0) throw ResultException(kInvalidArgument);
  const std::int64_t room = round16(std::max<std::int64_t>({capacity, length, 0}));
  if (room == 0) return;
  void* data = reallocate(nullptr, room, elementSize);
  if (length > 0) std::memcpy(data, elements, static_cast<std::size_t>(length) * elementSize);
  storage.data = data;
  storage.capacity = static_cast<std::int32_t>(room);
  storage.length = std::max<std::int32_t>(length, 0);
}

void reserveStorage(GrowableStorage& storage, std::int32_t count, std::size_t elementSize) {
  if (count <= storage.capacity) return;
  if (count > kMaxCapacity) ZKCoreOutOfMemory();
  std::int64_t room = round16(std::max<std::int64_t>(count, std::int64_t{storage.capacity} + storage.capacity / 2));
  // Near the limit the geometric step gives way to exactly what was asked.
  if (room > kMaxCapacity) room = round16(count);
  storage.data = reallocate(storage.data, room, elementSize);
  storage.capacity = static_cast<std::int32_t>(room);
}

void setStorageLength(GrowableStorage& storage, std::int32_t length) {
  if (length == -1) return;
  if (length < 0 || length > storage.capacity) throw ResultException(kInvalidArgument);
  storage.length = length;
}

void trimStorage(GrowableStorage& storage, std::size_t elementSize) {
  if (storage.length == 0) {
    freeStorage(storage);
    return;
  }
  const std::int64_t room = round16(storage.length);
  if (room == storage.capacity) return;
  storage.data = reallocate(storage.data, room, elementSize);
  storage.capacity = static_cast<std::int32_t>(room);
}

void freeStorage(GrowableStorage& storage) noexcept {
  std::free(storage.data);
  storage.data = nullptr;
  storage.capacity = 0;
  storage.length = 0;
}

void throwReadOnly() { throw ReadOnlyException(); }

ReallocFunction setStorageReallocForTesting(ReallocFunction function) noexcept {
  return g_reallocForTesting.exchange(function);
}

}  // namespace zk::util::detail
