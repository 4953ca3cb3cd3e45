#pragma once
// The form framework: forms with their stored properties and Load event, the
// start-up sequence, End, and the list-box control.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/text.h"

namespace forms {

using platform::Text;

// Every error the framework or a control raises. It carries an error number
// and a description; it passes up to the caller of the routine that met it.
class FrameworkError : public std::runtime_error {
 public:
  FrameworkError(std::int32_t number, const std::string& description)
      : std::runtime_error(description), number_(number) {}
  std::int32_t Number() const { return number_; }

 private:
  std::int32_t number_;
};

// Error numbers the framework raises.
inline constexpr std::int32_t kErrOutOfMemory = 7;
inline constexpr std::int32_t kErrInvalidIndex = 381;

// Where a form is first placed when it is shown.
enum class StartUpPosition : std::int32_t {
  Manual = 0,
  CenterOwner = 1,
  CenterScreen = 2,
  WindowsDefault = 3,  // the window system chooses
};

// The properties a form stores with its design. Positions and sizes are in
// twips (1/1440 inch).
struct FormProperties {
  Text caption;
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  StartUpPosition startUpPosition = StartUpPosition::WindowsDefault;
};

class Form {
 public:
  virtual ~Form() = default;
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  const FormProperties& Properties() const { return properties_; }

 protected:
  explicit Form(FormProperties properties) : properties_(std::move(properties)) {}

 private:
  // The Load event: raised once by the start-up sequence, after the form is
  // created and before it would first be shown.
  virtual void Load() {}

  friend void RaiseLoad(Form& form);

  FormProperties properties_;
};

// Raises `form`'s Load event.
void RaiseLoad(Form& form);

// The start-up sequence, to which the process entry hands control: creates
// the start-up form and raises its Load event on the calling (GUI) thread.
// A form that is still running after Load would now be shown; this framework
// has no visible windows, so the form is unloaded and Run returns the exit
// status 0. A handler that calls End never returns here.
template <typename StartUpForm>
int Run() {
  StartUpForm form;
  RaiseLoad(form);
  return 0;
}

// Ends the program at once, from anywhere, usually an event handler: no
// further form events (no unload, no terminate), nothing is written, and the
// process exits with status 0.
[[noreturn]] void End();

// A list of text items kept in memory.
class ListBox {
 public:
  // The most items a list holds.
  static constexpr std::int32_t kMaxItems = 32767;

  explicit ListBox(bool sorted = false) : sorted_(sorted) {}

  // Adds `item` with no position given: at the end of an unsorted list, in
  // its place in a sorted one (after the items that compare equal, by exact
  // character codes). A full list raises FrameworkError and stays as it was.
  void AddItem(const Text& item);

  // The number of items, as the control reports it: a 16-bit signed count.
  std::int16_t ListCount() const { return static_cast<std::int16_t>(items_.size()); }

  // The item at 0-based `index`; FrameworkError when there is none.
  const Text& List(std::int32_t index) const;

  const std::vector<Text>& Items() const { return items_; }

 private:
  bool sorted_;
  std::vector<Text> items_;
};

}  // namespace forms
