// Parses a query sentence into its syntax tree (ast.h).
//
//   sentence  := ("SSELECT" | "SELECT") file clause*
//   file      := word | "DICT" word
//   clause    := criterion | ("AND" criterion) | ("OR" criterion) | ("OR" test) | sort
//   criterion := ("AVEC" | "WITH") field test
//   test      := operator value
//   sort      := ("PAR" | "BY" | "PAR-DECR" | "BY.DSND" | "BY-DSND") field
//   operator  := = # < > =< <= => >= | EQ NE LT GT LE GE
//
// " OR test" adds a test to the criterion just before it; " OR criterion" starts a new set of
// criteria; a criterion that follows another without a connector joins its set (AND). A value
// ending in "]" matches texts beginning with what precedes it, one starting with "[" texts ending
// with what follows, "[...]" texts containing it; these only go with = and #. Keywords are
// case-insensitive; file and field names are not.
//
// Raises ComponentError kBadQuery naming the character position of the fault.
#pragma once

#include <string_view>

#include "mvdb/query/ast.h"

namespace varnolde::mvdb {

SentenceAst ParseSentence(std::string_view sentence);

// The symbol plans print for op ("=", "#", "<", ">", "=<", "=>").
std::string_view OperatorSymbol(Op op);

}  // namespace varnolde::mvdb
