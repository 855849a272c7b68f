// Errors raised across the component boundary.
//
// Every failure the panel can meet (database, toolkit, conversion, rights, a released
// reference) is raised as a ComponentError carrying a number. The panel's procedures either
// let it propagate (to the toolkit's event dispatch, which shows it to the clerk) or run in
// resume-next mode (see resume_next.h), which skips the failing statement and remembers the
// number. The numbers are stable: clerks quote them, scripts and tests compare them.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace varnolde {

using ErrorNumber = std::uint32_t;

namespace err {
// Database component.
inline constexpr ErrorNumber kRecordNotFound = 0x8004000B;  // Read of a missing key
inline constexpr ErrorNumber kWriteFailed = 0x8004000E;     // any failed write, delete or commit
inline constexpr ErrorNumber kUnknownFile = 0x80040010;     // OpenFile / query of an unknown table
inline constexpr ErrorNumber kBadQuery = 0x80040011;        // query sentence or request record
inline constexpr ErrorNumber kUnknownDictItem = 0x80040012; // dictionary name not defined
inline constexpr ErrorNumber kRecordNotTied = 0x80040013;   // DBWrite/DBDelete on a free record
inline constexpr ErrorNumber kDatabaseOpen = 0x80040014;    // database file missing or unusable
inline constexpr ErrorNumber kBadTransaction = 0x80040015;  // commit/savepoint without a transaction
inline constexpr ErrorNumber kBadData = 0x80040016;         // malformed load data or record text
// Rights component.
inline constexpr ErrorNumber kUnknownUser = 0x80040020;     // login not in UTILISATEURS
// Toolkit, conversion and released-reference errors: small numbers, written in decimal
// (FormatErrorNumber), well apart from the 0x8004xxxx range above.
inline constexpr ErrorNumber kInvalidCall = 5;              // toolkit: focus on an unreachable control, bad index
inline constexpr ErrorNumber kTypeMismatch = 13;            // conversion: text is not a date / number
inline constexpr ErrorNumber kOverflow = 6;                 // conversion: number out of range
inline constexpr ErrorNumber kObjectNotSet = 91;            // use of a released reference
}  // namespace err

class ComponentError : public std::runtime_error {
 public:
  ComponentError(ErrorNumber number, const std::string& text)
      : std::runtime_error(text), number_(number) {}
  ErrorNumber number() const noexcept { return number_; }

 private:
  ErrorNumber number_;
};

// "0x8004000B" for database numbers, the plain decimal for small platform numbers.
std::string FormatErrorNumber(ErrorNumber number);

// The French cause of a failed system call (an errno value): "fichier introuvable", "accès
// refusé", ... The system's own text follows the process's locale, so messages that must stay
// in one language use this one.
std::string SystemCause(int errno_value);

}  // namespace varnolde
