// Ref<T>: a shared reference that can be released ("set to no object").
//
// The panel's record buffers, query results and table handles are references that other
// procedures release. Reaching an object through a released Ref raises error 91
// (kObjectNotSet), which a resume-next procedure skips; several of the panel's behaviours rely
// on that (a failing read leaves the buffer as it was). Releasing an unset Ref does nothing.
#pragma once

#include <memory>
#include <utility>

#include "components/errors.h"

namespace varnolde {

template <class T>
class Ref {
 public:
  Ref() = default;
  Ref(std::shared_ptr<T> object) : object_(std::move(object)) {}  // NOLINT: implicit on purpose
  template <class U>
  Ref(std::shared_ptr<U> object) : object_(std::move(object)) {}  // NOLINT
  template <class U>
  Ref(const Ref<U>& other) : object_(other.shared()) {}  // NOLINT

  T& operator*() const { return *Checked(); }
  T* operator->() const { return Checked(); }

  bool IsSet() const noexcept { return object_ != nullptr; }
  void Release() noexcept { object_.reset(); }
  const std::shared_ptr<T>& shared() const noexcept { return object_; }

 private:
  T* Checked() const {
    if (!object_) throw ComponentError(err::kObjectNotSet, "Variable objet non définie");
    return object_.get();
  }

  std::shared_ptr<T> object_;
};

}  // namespace varnolde
