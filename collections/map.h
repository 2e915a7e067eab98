// The map interfaces: maps from keys to values and their entries. Like the
// collection interfaces they are components whose operations throw members
// of the zk::Exception tree. Keys and values are IZKUnknown pointers (null
// allowed), stored with a reference and handed out as References; a map
// orders and hashes its keys through one IZKComparator and its values
// through another.
#pragma once

#include <cstdint>

#include "collections/collection.h"

namespace zk::collections::pcom {

struct MapEntry : IZKUnknown {
  virtual std::int32_t compareTo(IZKUnknown* other) const = 0;
  virtual bool equals(IZKUnknown* other) const = 0;
  virtual Reference<IZKUnknown> getKey() const = 0;
  virtual Reference<IZKUnknown> getValue() const = 0;
  virtual std::uint32_t hashCode() const = 0;
  // Stores value and returns the value it replaces.
  virtual Reference<IZKUnknown> setValue(IZKUnknown* value) = 0;

 protected:
  ~MapEntry() = default;
};

struct Map : IZKUnknown {
  virtual void clear() = 0;
  virtual std::int32_t compareTo(const Object& other) const = 0;
  virtual bool containsKey(IZKUnknown* key) const = 0;
  virtual bool containsValue(IZKUnknown* value) const = 0;
  // The entries (MapEntry objects) as a view: removing through it removes
  // from the map.
  virtual Reference<Set> entrySet() = 0;
  virtual Reference<Set> constEntrySet() const = 0;
  virtual Reference<Set> keySet() = 0;
  virtual Reference<Set> constKeySet() const = 0;
  virtual Reference<Collection> values() = 0;
  virtual Reference<Collection> constValues() const = 0;
  virtual bool equals(const Object& other) const = 0;
  // The value stored under key, or null.
  virtual Reference<IZKUnknown> get(IZKUnknown* key) const = 0;
  virtual std::int32_t size() const = 0;
  virtual std::uint32_t hashCode() const = 0;
  // Stores value under key; the value it replaces, or null.
  virtual Reference<IZKUnknown> put(IZKUnknown* key, IZKUnknown* value) = 0;
  virtual void putAll(const Map* m) = 0;
  // The value that was stored under key, or null.
  virtual Reference<IZKUnknown> remove(IZKUnknown* key) = 0;

 protected:
  ~Map() = default;
};

// Answered by the library's map entries with their MapEntry part, so an
// entry reached through another interface table can still be found.
// {5D0C8E7A-3B41-4F9C-9A62-1E7F0B3C2D84}
inline constexpr IID IID_ZKMapEntry = {0x5D0C8E7A, 0x3B41, 0x4F9C, {0x9A, 0x62, 0x1E, 0x7F, 0x0B, 0x3C, 0x2D, 0x84}};

// The entry behind obj, with a reference; null when obj is null or no entry.
// An object that answers IID_ZKMapEntry, or that implements MapEntry
// without knowing that identifier (a caller's own entry class), is an entry:
// MapEntry is the interface a map's users are given, so it is what counts.
// The type check is safe because these interfaces are C++ ones, shared only
// with code built against the same run-time library.
inline Reference<MapEntry> toMapEntry(IZKUnknown* obj) noexcept {
  Reference<MapEntry> entry;
  if (obj == nullptr) return entry;
  if (obj->QueryInterface(IID_ZKMapEntry, entry.put_void()) >= 0 && entry) return entry;
  entry.reset(dynamic_cast<MapEntry*>(obj));
  return entry;
}

// The entry behind obj; CastFailedException when it is none.
Reference<MapEntry> requireMapEntry(IZKUnknown* obj);

}  // namespace zk::collections::pcom
