// Run-time class records and the process-wide class registry that finds them
// by registered name or by run-time type.
#pragma once

#include <typeinfo>

#include "lang/object.h"

namespace zk {

// Makes a default-constructed instance with count 0, for classes that can
// be created by name.
using ClassCreator = ComObject* (*)();

template <class T>
ComObject* createInstance() {
  return new T();
}

// The record of one registered class: its name, its run-time type and the
// creator, if any. Records are made by registration and live as long as the
// registry, so Object::getClass hands out uncounted pointers. Immutable, so
// any thread may use one.
class Class : public Object {
 public:
  // name must stay valid as long as the record (registered names are static
  // texts). type or creator may be null.
  Class(const wchar_t* name, const std::type_info* type, ClassCreator creator) noexcept;
  ~Class() override;

  virtual const wchar_t* getName() const;
  // True exactly when the dynamic type of object is this class's type;
  // subclasses do not count, null never does.
  virtual bool isInstance(const Object* object) const;
  // A new instance with count 0; IllegalAccessException for a class without
  // creator.
  virtual ComObject* newInstance() const;

  // ClassNotFoundException (message: the name) when no class of that name is
  // registered or the library is down.
  static Class* forName(const wchar_t* name);
  // ClassNotFoundException (message: the type's undecorated name) when the
  // type is not registered or the library is down.
  static Class* forType(const std::type_info& type);
  // Registers a class unless its name is already registered (the first
  // registration of a name wins); a type that is already registered keeps
  // its record. All or nothing: a failure leaves the registry as it was.
  // IllegalStateException while the library is down. name must be a static
  // text. Registration belongs to start-up: it must not run while other
  // threads look classes up.
  static void registerClass(const wchar_t* name, const std::type_info* type, ClassCreator creator);

 private:
  const wchar_t* m_name;
  const std::type_info* m_type;
  ClassCreator m_creator;
};

// One row of a class table: registered name, run-time type (null for a class
// known by name only) and creator (null for none).
struct ClassTableRow {
  const wchar_t* name;
  const std::type_info* type;
  ClassCreator creator;
};

// Registers the rows of table in order, up to the row with a null name.
void registerClasses(const ClassTableRow* table);

// Destroys the class registry (under the global lock when it exists) if
// there is one; the next use creates an empty one again. Part of the class
// library's shutdown: no other thread may use the registry meanwhile.
void destroyClassRegistry() noexcept;

}  // namespace zk
