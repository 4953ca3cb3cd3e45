#include "platform/forms.h"

#include <algorithm>
#include <cstdlib>

namespace forms {

void RaiseLoad(Form& form) { form.Load(); }

void End() { std::_Exit(0); }

void ListBox::AddItem(const Text& item) {
  if (static_cast<std::int32_t>(items_.size()) >= kMaxItems) {
    throw FrameworkError(kErrOutOfMemory, "Out of memory: the list box holds 32767 items");
  }
  const auto at = sorted_ ? std::upper_bound(items_.begin(), items_.end(), item) : items_.end();
  items_.insert(at, item);
}

const Text& ListBox::List(std::int32_t index) const {
  if (index < 0 || index >= static_cast<std::int32_t>(items_.size())) {
    throw FrameworkError(kErrInvalidIndex, "Invalid property array index");
  }
  return items_[static_cast<std::size_t>(index)];
}

}  // namespace forms
