// The English error-text table of the DB client.
#pragma once

// The English text of a client error number 20000..20297, else nullptr.
const char* db__errtext(int dberr);
