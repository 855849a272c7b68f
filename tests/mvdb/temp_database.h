// The mvdb tests' names for what the shared test support offers.
#pragma once

#include <gtest/gtest.h>

#include "mvdb/jsonl.h"
#include "mvdb/link.h"
#include "support/support.h"

namespace varnolde::mvdb::fixture {

using TempDir = test::ScratchDir;
using test::Dyn;
using test::ErrorOf;
inline void Load(const std::string& db_path, const std::string& lines) {
  test::LoadLines(db_path, lines);
}

}  // namespace varnolde::mvdb::fixture
