// Reply builders for the scripted cursor test: result formats with several
// columns, rows, browse table names and column information, on top of the
// scripted peer of db_testpeer.h.
#pragma once

#include <string>
#include <vector>

#include "db_testpeer.h"

namespace crstest {

using testpeer::Bytes;

struct Col {
  std::string name;
  int type;         // server datatype
  int maxlen = 0;   // for variable-length types
  int usertype = 0;
};

inline bool variable(int type) { return type == MERVARCHAR || type == MERVARBINARY || type == MERINTN; }

// A ROWFMT token.
inline Bytes rowfmt(const std::vector<Col>& cols) {
  Bytes body;
  testpeer::put16(&body, static_cast<int>(cols.size()));
  for (const Col& c : cols) {
    testpeer::put_column(&body, c.name, c.type, c.usertype);
    if (variable(c.type)) body.push_back(static_cast<unsigned char>(c.maxlen));
    body.push_back(0);
  }
  return testpeer::rowfmt_token(body);
}

// One value of a row: raw bytes (already big-endian for numbers), or a
// null for a variable-length column.
struct Val {
  Bytes bytes;
  bool null = false;
};
inline Val str(const std::string& s) {
  Val x;
  testpeer::putstr(&x.bytes, s);
  return x;
}
inline Bytes row(const std::vector<Col>& cols, const std::vector<Val>& vals) {
  Bytes b = {0xD1};
  for (std::size_t i = 0; i < cols.size() && i < vals.size(); ++i) {
    if (variable(cols[i].type)) b.push_back(static_cast<unsigned char>(vals[i].null ? 0 : vals[i].bytes.size()));
    b.insert(b.end(), vals[i].bytes.begin(), vals[i].bytes.end());
  }
  return b;
}

// A whole result: format, rows and a final DONE with the row count.
inline Bytes result(const std::vector<Col>& cols, const std::vector<std::vector<Val>>& rows,
                    const Bytes& between = {}) {
  Bytes b = rowfmt(cols);
  b.insert(b.end(), between.begin(), between.end());
  for (const auto& r : rows) {
    Bytes x = row(cols, r);
    b.insert(b.end(), x.begin(), x.end());
  }
  Bytes d = testpeer::done(0x10, static_cast<int32_t>(rows.size()));
  b.insert(b.end(), d.begin(), d.end());
  return b;
}

inline Bytes tabname(const std::vector<std::string>& names) {
  Bytes body;
  for (const std::string& n : names) {
    body.push_back(static_cast<unsigned char>(n.size()));
    testpeer::putstr(&body, n);
  }
  Bytes b = {0xA4};
  testpeer::put16(&b, static_cast<int>(body.size()));
  b.insert(b.end(), body.begin(), body.end());
  return b;
}

// Column information: (column, table, status) per column.
struct Info {
  int col, tab, status;
};
inline Bytes colinfo(const std::vector<Info>& infos) {
  Bytes body;
  for (const Info& i : infos) {
    body.push_back(static_cast<unsigned char>(i.col));
    body.push_back(static_cast<unsigned char>(i.tab));
    body.push_back(static_cast<unsigned char>(i.status));
  }
  Bytes b = {0xA5};
  testpeer::put16(&b, static_cast<int>(body.size()));
  b.insert(b.end(), body.begin(), body.end());
  return b;
}

// The text of a language request as the peer received it.
inline std::string sql_of(const Bytes& b) {
  return b.size() > 6 ? std::string(b.begin() + 6, b.end()) : "";
}

}  // namespace crstest
