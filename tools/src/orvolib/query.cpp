// The query record's login hand-off and sending templates to the access
// layer.
#include <cstdlib>
#include <cstring>

#include "orvolib/query.h"
#include "pravel/pravel.h"

namespace {
// The read-only login.
const char kReadOnlyUser[] = "calread";
const char kReadOnlyPassword[] = "tuvelmark";
// How long any one read may wait for the server: far beyond what a healthy
// catalogue server takes to start answering any of the statements (5
// minutes), so that a server that stops answering ends an unattended run
// instead of holding it.
const char kCommandTimeoutSeconds[] = "300";
}  // namespace

query* init_query() {
  query* q = new query;
  fill_query_names(q);
  const char* user = std::getenv("ORVO_USER");
  if (user != nullptr && user[0] != '\0' && std::strcmp(user, kReadOnlyUser) != 0) {
    pravel_setup(q->conn, 1, user);
  } else {
    pravel_setup(q->conn, 1, kReadOnlyUser);
    pravel_setup(q->conn, 2, kReadOnlyPassword);
  }
  pravel_setup(q->conn, 8, kCommandTimeoutSeconds);
  return q;
}

void free_query(query* q) { delete q; }

void build_qry(int conn, const char* tmpl, std::initializer_list<qry_arg> args) {
  expand_qry(tmpl, args, [conn](const char* piece) { qelt_query(conn, piece); });
}
