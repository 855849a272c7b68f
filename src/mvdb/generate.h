// A synthetic employer's database at any size, for benchmarks and sizing.
//
// GenerateDatabase fills an mvdb database that holds none of the panel's files with the seven
// tables of the advances panel, the users file, the caregiver name dictionary item and its
// index: `caregivers` caregivers, `contracts` contracts shared among them (open-ended and
// ended, with persons cared for ("02") and with the employer's entities), `advances` advances
// spread over several pay periods, payslip details for the past periods, persons cared for,
// several entities and the user "gestionnaire" (level 2 on every caregiver). The same options
// give the same records, byte for byte, on every machine: the generator uses its own random
// generator, never the standard library's distributions.
//
// Caregivers and persons cared for have five-character codes: "00000" to "99999" first, then a
// capital letter and four digits ("A0000" ... "Z9999"), hence at most 360,000 caregivers. A
// contract key is the caregiver's code and a three-digit number; an advance key is the
// contract key and the period "yyyymm".
//
// Failures: ComponentError kBadData when the counts cannot be met (more caregivers than codes,
// fewer contracts than caregivers, more than 999 contracts per caregiver or more advances than
// contract-periods), kWriteFailed when the database already holds one of the files or a write
// fails. Everything is written in one transaction: a failure leaves the database as it was.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "mvdb/link.h"

namespace varnolde::mvdb {

struct GenerateOptions {
  std::int64_t caregivers = 0;
  std::int64_t contracts = 0;
  std::int64_t advances = 0;
  std::uint64_t seed = 1;
};

// Pay periods of the generated data: the two open periods of PERIODESPAIE are the last two.
inline constexpr int kGeneratedPeriods = 6;
const char* GeneratedPeriod(int index);  // 0 .. kGeneratedPeriods-1, oldest first: "202607"

// The code of the n-th caregiver or person cared for (n from 0): see above. Raises kBadData
// beyond the last code.
std::string PersonCode(std::int64_t n);

// Fills database; returns the number of records written per file.
std::map<std::string, std::int64_t> GenerateDatabase(Database& database,
                                                     const GenerateOptions& options);

}  // namespace varnolde::mvdb
