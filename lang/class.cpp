#include "lang/class.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>

#if defined(__GNUC__)
#include <cxxabi.h>
#endif

#include "core/lifecycle.h"
#include "lang/exception.h"
#include "lang/global_lock.h"
#include "lang/string.h"

namespace zk {

namespace {

// Orders names by their UTF-16 code units taken as unsigned numbers.
struct CodeUnitLess {
  bool operator()(const wchar_t* a, const wchar_t* b) const noexcept {
    for (;; ++a, ++b) {
      const auto left = static_cast<std::uint16_t>(*a);
      const auto right = static_cast<std::uint16_t>(*b);
      if (left != right) return left < right;
      if (left == 0) return false;
    }
  }
};

// Orders types by name, then tells apart distinct types that share a name
// (those of anonymous namespaces in different units). type_info::before is
// no strict weak order in mingw's run-time library once such a type is
// involved (it compares addresses with names), so a map ordered by it loses
// entries.
struct TypeLess {
  bool operator()(const std::type_info* a, const std::type_info* b) const noexcept {
    const int byName = std::strcmp(a->name(), b->name());
    if (byName != 0) return byName < 0;
    if (*a == *b) return false;
    return std::less<const char*>()(a->name(), b->name());
  }
};

// Both maps hold a reference on each record. Lookups take no lock: the
// registry is filled during start-up, before other threads use it.
struct ClassRegistry : CZKCoreAllocated {
  std::map<const wchar_t*, Reference<Class>, CodeUnitLess> byName;
  std::map<const std::type_info*, Reference<Class>, TypeLess> byType;
};

std::atomic<ClassRegistry*> g_registry{nullptr};

// The registry, created on first use; null while the library is down.
ClassRegistry* registry() {
  return createOnceUnderGlobalLock(g_registry, [] { return new ClassRegistry(); });
}

String widen(const char* text) {
  const std::size_t length = std::strlen(text);
  // Room for the characters and the NUL; a name too long for a count gets
  // none and the appends refuse it.
  String wide(length < static_cast<std::size_t>(INT32_MAX) ? static_cast<std::int32_t>(length + 1) : 0);
  for (; *text != '\0'; ++text) wide.append(static_cast<wchar_t>(static_cast<unsigned char>(*text)));
  return wide;
}

String undecoratedName(const std::type_info& type) {
#if defined(__GNUC__)
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> demangled(abi::__cxa_demangle(type.name(), nullptr, nullptr, &status),
                                                   &std::free);
  if (status == 0 && demangled) return widen(demangled.get());
#endif
  // MSVC's names are undecorated already.
  return widen(type.name());
}

}  // namespace

Class::Class(const wchar_t* name, const std::type_info* type, ClassCreator creator) noexcept
    : m_name(name), m_type(type), m_creator(creator) {}

Class::~Class() = default;

const wchar_t* Class::getName() const { return m_name; }

bool Class::isInstance(const Object* object) const {
  return object != nullptr && m_type != nullptr && typeid(*object) == *m_type;
}

ComObject* Class::newInstance() const {
  if (m_creator == nullptr) throw IllegalAccessException();
  return m_creator();
}

Class* Class::forName(const wchar_t* name) {
  if (ClassRegistry* classes = registry(); classes != nullptr && name != nullptr) {
    const auto found = classes->byName.find(name);
    if (found != classes->byName.end()) return found->second.get();
  }
  throw ClassNotFoundException(String(name));
}

Class* Class::forType(const std::type_info& type) {
  if (ClassRegistry* classes = registry()) {
    const auto found = classes->byType.find(&type);
    if (found != classes->byType.end()) return found->second.get();
  }
  throw ClassNotFoundException(undecoratedName(type));
}

void Class::registerClass(const wchar_t* name, const std::type_info* type, ClassCreator creator) {
  ClassRegistry* classes = registry();
  if (classes == nullptr) throw IllegalStateException();
  if (name == nullptr || classes->byName.count(name) != 0) return;
  Reference<Class> record = makeReference<Class>(name, type, creator);
  const auto named = classes->byName.emplace(name, record).first;
  try {
    if (type != nullptr) classes->byType.emplace(type, record);
  } catch (...) {
    // A name whose type lookup failed forever would be worse than none.
    classes->byName.erase(named);
    throw;
  }
}

void registerClasses(const ClassTableRow* table) {
  for (const ClassTableRow* row = table; row->name != nullptr; ++row) {
    Class::registerClass(row->name, row->type, row->creator);
  }
}

void destroyClassRegistry() noexcept {
  if (g_registry.load(std::memory_order_acquire) == nullptr) return;
  // Taking the global lock can only fail when the library is already broken;
  // the registry goes all the same, since shutdown is single-threaded.
  try {
    GlobalLockHold hold;
    delete g_registry.exchange(nullptr, std::memory_order_acq_rel);
  } catch (...) {
    delete g_registry.exchange(nullptr, std::memory_order_acq_rel);
  }
}

}  // namespace zk
