// Fuzzes the JSON-lines loader: any bytes. A load either stores every line or nothing, raising
// kBadData (or kWriteFailed) naming the line; what was stored dumps to lines that load into
// another database and dump to the same lines again.
#include <cstdint>
#include <sstream>
#include <string>

#include "components/errors.h"
#include "fuzz_check.h"
#include "mvdb/jsonl.h"
#include "mvdb/link.h"

namespace {

using namespace varnolde;

// A new empty database in memory: nothing touches the disk between inputs.
std::shared_ptr<mvdb::Database> EmptyDatabase() {
  return mvdb::OpenMvdb(":memory:", mvdb::OpenOptions{.create = true});
}

std::string DumpAll(mvdb::Database& database) {
  std::ostringstream out;
  mvdb::DumpJsonLines(database, {}, out);
  return out.str();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto database = EmptyDatabase();
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  mvdb::LoadReport counts;
  try {
    counts = mvdb::LoadJsonLines(*database, in);
  } catch (const ComponentError& e) {
    // An index line may name a file, an item or a field that cannot be indexed.
    FUZZ_CHECK(e.number() == err::kBadData || e.number() == err::kWriteFailed ||
               e.number() == err::kUnknownFile || e.number() == err::kUnknownDictItem ||
               e.number() == err::kBadQuery);
    FUZZ_CHECK(std::string(e.what()).find("ligne ") != std::string::npos);
    FUZZ_CHECK(database->FileNames().empty());  // nothing stored
    return 0;
  }
  std::string first;
  try {
    first = DumpAll(*database);
  } catch (const ComponentError& e) {
    // JSON cannot carry a text that is not UTF-8; the loader must not have stored one.
    FUZZ_CHECK(false && "a loaded record does not dump");
  }
  int records = 0;
  for (const auto& [file, count] : counts.added) records += count + counts.replaced[file];
  FUZZ_CHECK(records >= 0);
  auto copy = EmptyDatabase();
  std::istringstream again(first);
  mvdb::LoadJsonLines(*copy, again);
  FUZZ_CHECK(DumpAll(*copy) == first);
  return 0;
}
