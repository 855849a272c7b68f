// Engine-internal entry points, for the tools and the engine's own tests.
//
// RunQuery runs a sentence like DatabaseLink::Select with planner options (a test runs every
// query both as planned and as a full scan and expects the same rows). It requires a database
// opened by OpenMvdb; another DatabaseLink raises kBadQuery.
#pragma once

#include <string_view>

#include "mvdb/link.h"
#include "mvdb/query/executor.h"
#include "mvdb/query/planner.h"

namespace varnolde::mvdb {

QueryResult RunQuery(Database& database, std::string_view sentence, std::string_view columns,
                     const PlanOptions& options = {});

}  // namespace varnolde::mvdb
