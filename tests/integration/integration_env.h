#pragma once

#include <string>

namespace integration {

/// The value of an environment variable that scripts/test.sh sets for the
/// private PostgreSQL cluster and ODBC configuration; fails the test (by
/// throwing) when it is missing, so a run without the cluster is not mistaken
/// for a pass.
std::string RequiredEnv(const char* name);

/// Runs one SQL text through psql, PostgreSQL's own client, against the
/// private cluster; returns its unaligned, tuples-only output without the
/// final newline.
std::string Psql(const std::string& sql);

}  // namespace integration
