// Counting what a benchmark process asks of PostgreSQL servers, client side.
//
// The benchmark programs are linked with the linker's --wrap for the libpq calls that send a
// statement (bench/CMakeLists.txt): every call, from the engine's storage or from a benchmark's
// own SQL, passes through a thin wrapper that counts it and calls libpq. A statement is one
// call that sends one (PQexec, PQexecParams, PQexecPrepared, PQprepare, PQsendQuery...). A
// round trip is a wait for the server: a synchronous call outside pipeline mode, an
// asynchronous send outside pipeline mode (its results are awaited before the next), or, in
// pipeline mode, each PQpipelineSync or PQsendFlushRequest that ends a batch of statements.
// Opening a connection and reading notifications already on the socket are not counted.
#pragma once

#include <cstdint>

namespace varnolde::bench {

struct PqCounts {
  std::int64_t statements = 0;
  std::int64_t round_trips = 0;
  PqCounts operator-(const PqCounts& earlier) const {
    return {statements - earlier.statements, round_trips - earlier.round_trips};
  }
  PqCounts operator+(const PqCounts& more) const {
    return {statements + more.statements, round_trips + more.round_trips};
  }
};

// The counts of this process so far (all connections, all threads).
PqCounts PqCounted();

}  // namespace varnolde::bench
