// The resume-next idiom.
//
// A procedure that runs "with errors resumed" creates one ResumeNext and wraps each of its
// statements in it:
//
//   ResumeNext rn;
//   rn([&] { assoc_buffer = assoc_file->Read(code); });
//   if (rn.LastError() == err::kRecordNotFound) { ... }
//
// A statement that raises a ComponentError is abandoned at that point and the procedure goes
// on with the next statement; LastError() is 0 when the procedure starts and afterwards holds
// the number of the last error raised since. Only ComponentError is swallowed: anything else
// (a programming fault, memory exhaustion) propagates.
#pragma once

#include <utility>

#include "components/errors.h"

namespace varnolde {

class ResumeNext {
 public:
  template <class Statement>
  void operator()(Statement&& statement) {
    try {
      std::forward<Statement>(statement)();
    } catch (const ComponentError& e) {
      last_error_ = e.number();
      ++error_count_;
    }
  }

  ErrorNumber LastError() const noexcept { return last_error_; }
  // How many statements failed so far: lets a procedure tell whether a group of statements
  // all completed.
  int ErrorCount() const noexcept { return error_count_; }

 private:
  ErrorNumber last_error_ = 0;
  int error_count_ = 0;
};

}  // namespace varnolde
