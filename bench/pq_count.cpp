// The wrappers of bench/pq_count.h. The linker sends every reference to PQxxx in the objects
// of a benchmark program (the engine's static library included) to __wrap_PQxxx, and
// __real_PQxxx to libpq's own function.
#include "pq_count.h"

#include <libpq-fe.h>

#include <atomic>

namespace varnolde::bench {
namespace {

std::atomic<std::int64_t> statements{0};
std::atomic<std::int64_t> round_trips{0};

void Statement(PGconn* connection) {
  statements.fetch_add(1, std::memory_order_relaxed);
  if (connection == nullptr || PQpipelineStatus(connection) == PQ_PIPELINE_OFF) {
    round_trips.fetch_add(1, std::memory_order_relaxed);
  }
}

void BatchEnd() { round_trips.fetch_add(1, std::memory_order_relaxed); }

}  // namespace

PqCounts PqCounted() {
  return {statements.load(std::memory_order_relaxed), round_trips.load(std::memory_order_relaxed)};
}

}  // namespace varnolde::bench

using varnolde::bench::BatchEnd;
using varnolde::bench::Statement;

extern "C" {

PGresult* __real_PQexec(PGconn* conn, const char* query);
PGresult* __real_PQexecParams(PGconn* conn, const char* command, int nParams,
                              const Oid* paramTypes, const char* const* paramValues,
                              const int* paramLengths, const int* paramFormats, int resultFormat);
PGresult* __real_PQexecPrepared(PGconn* conn, const char* stmtName, int nParams,
                                const char* const* paramValues, const int* paramLengths,
                                const int* paramFormats, int resultFormat);
PGresult* __real_PQprepare(PGconn* conn, const char* stmtName, const char* query, int nParams,
                           const Oid* paramTypes);
int __real_PQsendQuery(PGconn* conn, const char* query);
int __real_PQsendQueryParams(PGconn* conn, const char* command, int nParams,
                             const Oid* paramTypes, const char* const* paramValues,
                             const int* paramLengths, const int* paramFormats, int resultFormat);
int __real_PQsendQueryPrepared(PGconn* conn, const char* stmtName, int nParams,
                               const char* const* paramValues, const int* paramLengths,
                               const int* paramFormats, int resultFormat);
int __real_PQsendPrepare(PGconn* conn, const char* stmtName, const char* query, int nParams,
                         const Oid* paramTypes);
int __real_PQpipelineSync(PGconn* conn);
int __real_PQsendFlushRequest(PGconn* conn);

PGresult* __wrap_PQexec(PGconn* conn, const char* query) {
  Statement(conn);
  return __real_PQexec(conn, query);
}

PGresult* __wrap_PQexecParams(PGconn* conn, const char* command, int nParams,
                              const Oid* paramTypes, const char* const* paramValues,
                              const int* paramLengths, const int* paramFormats, int resultFormat) {
  Statement(conn);
  return __real_PQexecParams(conn, command, nParams, paramTypes, paramValues, paramLengths,
                             paramFormats, resultFormat);
}

PGresult* __wrap_PQexecPrepared(PGconn* conn, const char* stmtName, int nParams,
                                const char* const* paramValues, const int* paramLengths,
                                const int* paramFormats, int resultFormat) {
  Statement(conn);
  return __real_PQexecPrepared(conn, stmtName, nParams, paramValues, paramLengths, paramFormats,
                               resultFormat);
}

PGresult* __wrap_PQprepare(PGconn* conn, const char* stmtName, const char* query, int nParams,
                           const Oid* paramTypes) {
  Statement(conn);
  return __real_PQprepare(conn, stmtName, query, nParams, paramTypes);
}

int __wrap_PQsendQuery(PGconn* conn, const char* query) {
  Statement(conn);
  return __real_PQsendQuery(conn, query);
}

int __wrap_PQsendQueryParams(PGconn* conn, const char* command, int nParams,
                             const Oid* paramTypes, const char* const* paramValues,
                             const int* paramLengths, const int* paramFormats, int resultFormat) {
  Statement(conn);
  return __real_PQsendQueryParams(conn, command, nParams, paramTypes, paramValues, paramLengths,
                                  paramFormats, resultFormat);
}

int __wrap_PQsendQueryPrepared(PGconn* conn, const char* stmtName, int nParams,
                               const char* const* paramValues, const int* paramLengths,
                               const int* paramFormats, int resultFormat) {
  Statement(conn);
  return __real_PQsendQueryPrepared(conn, stmtName, nParams, paramValues, paramLengths,
                                    paramFormats, resultFormat);
}

int __wrap_PQsendPrepare(PGconn* conn, const char* stmtName, const char* query, int nParams,
                         const Oid* paramTypes) {
  Statement(conn);
  return __real_PQsendPrepare(conn, stmtName, query, nParams, paramTypes);
}

int __wrap_PQpipelineSync(PGconn* conn) {
  BatchEnd();
  return __real_PQpipelineSync(conn);
}

int __wrap_PQsendFlushRequest(PGconn* conn) {
  BatchEnd();
  return __real_PQsendFlushRequest(conn);
}

}  // extern "C"
