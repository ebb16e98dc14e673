#pragma once
// The published-property registry: properties set by name from text through the real setters.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/ui/component.h"

enum class TTypeKind : uint8_t {
  tkUnknown,
  tkInteger,
  tkChar,
  tkEnumeration,
  tkFloat,
  tkString,
  tkSet,
  tkClass,
  tkMethod,
  tkWChar,
  tkLString,
  tkWString,
  tkVariant,
  tkInt64
};

struct TPropInfo {
  std::string Name;
  TTypeKind Kind = TTypeKind::tkUnknown;
  // Set for class properties whose declared type is exactly a string list.
  bool IsStrings = false;
  std::function<bool(const TComponent*)> AppliesTo;
  std::function<void(TComponent*, int64_t)> SetOrd;
  std::function<int64_t(const TComponent*)> GetOrd;
  std::function<void(TComponent*, const std::string&)> SetStr;
  std::function<std::string(const TComponent*)> GetStr;
  std::function<void(TComponent*, const std::vector<std::string>&)> SetStrings;
};

// Registers a property of class T (and everything derived from it). A later registration of the
// same name for a more derived class wins for that class.
void RegisterPropInfo(TPropInfo Info);

template <class T>
void RegisterIntegerProperty(const std::string& Name, std::function<void(T*, int64_t)> Set,
                             std::function<int64_t(const T*)> Get = nullptr) {
  TPropInfo p;
  p.Name = Name;
  p.Kind = TTypeKind::tkInteger;
  p.AppliesTo = [](const TComponent* c) { return dynamic_cast<const T*>(c) != nullptr; };
  p.SetOrd = [Set](TComponent* c, int64_t v) { Set(static_cast<T*>(c), v); };
  if (Get) p.GetOrd = [Get](const TComponent* c) { return Get(static_cast<const T*>(c)); };
  RegisterPropInfo(std::move(p));
}

template <class T>
void RegisterStringProperty(const std::string& Name, std::function<void(T*, const std::string&)> Set,
                            std::function<std::string(const T*)> Get = nullptr) {
  TPropInfo p;
  p.Name = Name;
  p.Kind = TTypeKind::tkLString;
  p.AppliesTo = [](const TComponent* c) { return dynamic_cast<const T*>(c) != nullptr; };
  p.SetStr = [Set](TComponent* c, const std::string& v) { Set(static_cast<T*>(c), v); };
  if (Get) p.GetStr = [Get](const TComponent* c) { return Get(static_cast<const T*>(c)); };
  RegisterPropInfo(std::move(p));
}

template <class T>
void RegisterStringsProperty(const std::string& Name, std::function<void(T*, const std::vector<std::string>&)> Set) {
  TPropInfo p;
  p.Name = Name;
  p.Kind = TTypeKind::tkClass;
  p.IsStrings = true;
  p.AppliesTo = [](const TComponent* c) { return dynamic_cast<const T*>(c) != nullptr; };
  p.SetStrings = [Set](TComponent* c, const std::vector<std::string>& v) { Set(static_cast<T*>(c), v); };
  RegisterPropInfo(std::move(p));
}

// A property of another kind (Boolean, enumeration, set, class, event): known, never set from text.
template <class T>
void RegisterOtherProperty(const std::string& Name, TTypeKind Kind) {
  TPropInfo p;
  p.Name = Name;
  p.Kind = Kind;
  p.AppliesTo = [](const TComponent* c) { return dynamic_cast<const T*>(c) != nullptr; };
  RegisterPropInfo(std::move(p));
}

// The property of that name (case-insensitive) for the component's class, or nil.
const TPropInfo* GetPropInfo(const TComponent* Component, const std::string& Name);

// Sets a property from text: integers through the integer conversion (EConvertError on a bad
// number), strings as they are, string lists from Lines. Unknown names and other kinds do
// nothing. Returns true when a setter ran.
bool SetPropertyFromText(TComponent* Component, const std::string& Name, const std::string& Value);
bool SetStringsProperty(TComponent* Component, const std::string& Name, const std::vector<std::string>& Lines);
