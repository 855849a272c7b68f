// Table names and attribute numbers of the records the panel reads and writes.
#pragma once

#include <array>
#include <string_view>

namespace varnolde::tables {

inline constexpr std::string_view kAssociation = "ASSOCIATION";
inline constexpr std::string_view kPeriodesPaie = "PERIODESPAIE";
inline constexpr std::string_view kContrat = "CONTRAT";
inline constexpr std::string_view kCivilAidant = "CIVILAIDANT";
inline constexpr std::string_view kAcompteBull = "ACOMPTEBULL";
inline constexpr std::string_view kCivilAide = "CIVILAIDE";
inline constexpr std::string_view kDetailCalcul = "DETAILCALCUL";
// Users and their rights, read by the rights component.
inline constexpr std::string_view kUtilisateurs = "UTILISATEURS";

// The seven tables in the order in which they are opened.
inline constexpr std::array<std::string_view, 7> kPanelTables = {
    kAssociation, kPeriodesPaie, kContrat, kCivilAidant, kAcompteBull, kCivilAide, kDetailCalcul};

namespace association {
inline constexpr int kName = 1;         // offered in the entity box, sort key
inline constexpr int kEmployerName = 2; // shown in the "Employeur" column
}  // namespace association

namespace periodespaie {
inline constexpr std::string_view kKey = "1";
inline constexpr int kFirstPeriod = 1;  // "yyyymm"
inline constexpr int kSecondPeriod = 2;
}  // namespace periodespaie

namespace contrat {
inline constexpr int kEmployer = 1;     // "02": the person cared for; else an ASSOCIATION key
inline constexpr int kEntity = 2;
inline constexpr int kCaredFor = 3;     // first 5 characters: CIVILAIDE key
inline constexpr int kStart = 7;        // stored date
inline constexpr int kEnd = 8;          // stored date, empty when open-ended
inline constexpr int kFlag28 = 28;
inline constexpr int kFlag65 = 65;
}  // namespace contrat

namespace civilaidant {
inline constexpr std::string_view kNameItem = "NomPrenomAidant";  // dictionary item
inline constexpr int kFirstName = 2;
inline constexpr int kSecondName = 3;
inline constexpr int kGroup = 31;       // handed to the rights component
}  // namespace civilaidant

namespace acomptebull {
inline constexpr int kAmount = 1;       // hundredths
inline constexpr int kPaidOn = 2;       // stored date or empty
}  // namespace acomptebull

namespace civilaide {
inline constexpr int kFirstName = 2;
inline constexpr int kSecondName = 3;
}  // namespace civilaide

namespace utilisateurs {
inline constexpr int kFunctionCodes = 1;  // multivalued
inline constexpr int kAccessLevels = 2;   // multivalued, parallel to kFunctionCodes
inline constexpr int kGroups = 3;         // multivalued; "*" = every caregiver
}  // namespace utilisateurs

}  // namespace varnolde::tables
