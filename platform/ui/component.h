#pragma once
// Root classes of the class library: objects, persistents and components with ownership.

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/base/exceptions.h"

// A small set over an enum whose values are below 64.
template <class E>
class TSetOf {
 public:
  using Bits = uint64_t;
  constexpr TSetOf() = default;
  constexpr TSetOf(E e) : bits_(Bit(e)) {}
  constexpr TSetOf(std::initializer_list<E> items) {
    for (E e : items) bits_ |= Bit(e);
  }
  static constexpr TSetOf FromBits(Bits b) {
    TSetOf s;
    s.bits_ = b;
    return s;
  }
  constexpr Bits bits() const { return bits_; }
  constexpr bool Contains(E e) const { return (bits_ & Bit(e)) != 0; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr TSetOf& Include(E e) {
    bits_ |= Bit(e);
    return *this;
  }
  constexpr TSetOf& Exclude(E e) {
    bits_ &= ~Bit(e);
    return *this;
  }
  constexpr TSetOf operator+(TSetOf o) const { return FromBits(bits_ | o.bits_); }
  constexpr TSetOf operator-(TSetOf o) const { return FromBits(bits_ & ~o.bits_); }
  constexpr TSetOf operator*(TSetOf o) const { return FromBits(bits_ & o.bits_); }
  constexpr TSetOf& operator+=(TSetOf o) {
    bits_ |= o.bits_;
    return *this;
  }
  constexpr TSetOf& operator-=(TSetOf o) {
    bits_ &= ~o.bits_;
    return *this;
  }
  constexpr bool operator==(const TSetOf&) const = default;

 private:
  static constexpr Bits Bit(E e) { return Bits(1) << static_cast<unsigned>(e); }
  Bits bits_ = 0;
};

class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;
  // Name of the most derived class as the library reports it (overridden where callers ask).
  virtual std::string ClassName() const { return "TObject"; }
  // Runs while the object is still whole, just before it is freed by its owner (or by a creator
  // that calls it); handlers that need the complete object (a form's OnDestroy) run here.
  virtual void BeforeDestruction() {}
};

class TPersistent : public TObject {
 public:
  // Copies Source into this object; raises EConvertError-like EComponentError when unsupported.
  virtual void Assign(TPersistent* Source);
  std::string ClassName() const override { return "TPersistent"; }

 protected:
  virtual void AssignTo(TPersistent* Dest);
};

// Raised by misuse of components (duplicate names, unsupported assignment).
class EComponentError : public Exception {
 public:
  explicit EComponentError(std::string Msg) : Exception(std::move(Msg)) {}
};

enum class TOperation : uint8_t { opInsert, opRemove };
inline constexpr TOperation opInsert = TOperation::opInsert;
inline constexpr TOperation opRemove = TOperation::opRemove;

enum class TComponentStateItem : uint8_t {
  csLoading,
  csReading,
  csWriting,
  csDestroying,
  csDesigning,
  csAncestor,
  csUpdating,
  csFixups,
  csFreeNotification,
  csInline,
  csDesignInstance
};
using TComponentState = TSetOf<TComponentStateItem>;
inline constexpr TComponentStateItem csLoading = TComponentStateItem::csLoading;
inline constexpr TComponentStateItem csReading = TComponentStateItem::csReading;
inline constexpr TComponentStateItem csWriting = TComponentStateItem::csWriting;
inline constexpr TComponentStateItem csDestroying = TComponentStateItem::csDestroying;
inline constexpr TComponentStateItem csDesigning = TComponentStateItem::csDesigning;
inline constexpr TComponentStateItem csUpdating = TComponentStateItem::csUpdating;

class TComponent;
using TNotifyEvent = std::function<void(TObject* Sender)>;

class TComponent : public TPersistent {
 public:
  explicit TComponent(TComponent* AOwner);
  ~TComponent() override;
  std::string ClassName() const override { return "TComponent"; }

  TComponent* Owner() const { return owner_; }
  const std::string& Name() const { return name_; }
  // Raises EComponentError when a sibling already carries the name (case-insensitive).
  virtual void SetName(const std::string& NewName);
  int32_t Tag() const { return tag_; }
  void SetTag(int32_t v) { tag_ = v; }

  int32_t ComponentCount() const { return static_cast<int32_t>(components_.size()); }
  TComponent* Components(int32_t Index) const;
  int32_t ComponentIndex() const;
  // Case-insensitive search among the owned components; nullptr when absent.
  TComponent* FindComponent(const std::string& AName) const;
  void InsertComponent(TComponent* AComponent);
  void RemoveComponent(TComponent* AComponent);
  // Frees every owned component, last first. Derived destructors may call it early so
  // owned components go while the owner is still whole.
  void DestroyComponents();

  // Asks that AComponent hears Notification(this, opRemove) when this component goes.
  void FreeNotification(TComponent* AComponent);
  void RemoveFreeNotification(TComponent* AComponent);

  TComponentState ComponentState() const { return state_; }
  void SetDesigning(bool Value);
  // Loading bracket for components built in code: properties set between BeginLoading and
  // EndLoading see csLoading; EndLoading calls Loaded.
  void BeginLoading();
  void EndLoading();
  // Marks the component as going away (csDestroying) and tells its owned components.
  virtual void Destroying();

  // Application-defined pointer-sized value beside Tag, for callers that store objects.
  void* DataObject() const { return data_object_; }
  void SetDataObject(void* p) { data_object_ = p; }

 protected:
  virtual void Notification(TComponent* AComponent, TOperation Operation);
  virtual void Loaded();
  void SetState(TComponentState s) { state_ = s; }
  void IncludeState(TComponentStateItem i) { state_.Include(i); }
  void ExcludeState(TComponentStateItem i) { state_.Exclude(i); }

 private:
  friend class TComponentLoader;
  void InsertInto(TComponent* AComponent);
  void RemoveFrom(TComponent* AComponent);
  void RemoveNotification(TComponent* AComponent);

  TComponent* owner_ = nullptr;
  std::string name_;
  int32_t tag_ = 0;
  void* data_object_ = nullptr;
  std::vector<TComponent*> components_;
  std::vector<TComponent*> free_notifies_;
  TComponentState state_;
};

// Loading bracket for a form built in code: each added component is in csLoading until the
// loader ends, then every one of them gets Loaded() in the order added.
class TComponentLoader {
 public:
  TComponentLoader() = default;
  ~TComponentLoader();
  TComponentLoader(const TComponentLoader&) = delete;
  TComponentLoader& operator=(const TComponentLoader&) = delete;
  template <class T>
  T* Add(T* c) {
    AddComponent(c);
    return c;
  }
  void AddComponent(TComponent* c);
  // Calls Loaded on every component now (also done by the destructor if not called).
  void Finish();

 private:
  std::vector<TComponent*> items_;
  bool finished_ = false;
};
