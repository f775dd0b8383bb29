#pragma once

#include <string>

namespace integration {

/// The value of an environment variable that scripts/test.sh sets for the
/// private PostgreSQL cluster and ODBC configuration; fails the test (by
/// throwing) when it is missing, so a run without the cluster is not mistaken
/// for a pass.
std::string RequiredEnv(const char* name);

/// This test process's own database in the private cluster, made on first
/// use and dropped when the process ends. ctest runs each test as a process
/// of its own, several at a time: what one test makes, terminates or
/// changes in its database never reaches another's.
const std::string& ProcessDatabase();

/// The connect string ("ODBC;"-less) of the test DSN on the process's
/// database, with `settings` added.
std::string PgDsnConnect(const std::string& settings = "");

/// Runs one SQL text through psql, PostgreSQL's own client, in the process's
/// database; returns its unaligned, tuples-only output without the final
/// newline.
std::string Psql(const std::string& sql);

}  // namespace integration
