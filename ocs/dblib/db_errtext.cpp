// English texts of the DB client error numbers 20000 to 20297.
#include "db_errtext.h"

namespace {

const char* const kTexts[] = {
    "This error number is unused.",  // 20000
    "Read attempted while out of synchronization with DB Server.",  // 20001
    "DB Server connection failed.",  // 20002
    "DB Server connection timed out.",  // 20003
    "Read from DB Server failed.",  // 20004
    "DB-CLIENT internal error - send buffer length corrupted.",  // 20005
    "Write to DB Server failed.",  // 20006
    "Sendflush: VMS I/O error.",  // 20007
    "Unable to open socket.",  // 20008
    "Unable to connect: DB Server is unavailable or does not exist.",  // 20009
    "Unable to allocate sufficient memory.",  // 20010
    "Maximum number of DBPROCESSes already allocated.",  // 20011
    "Server name not found in interface file.",  // 20012
    "Unknown host machine name.",  // 20013
    "Login incorrect.",  // 20014
    "Could not open interface file.",  // 20015
    "Interface file: unexpected end-of-line.",  // 20016
    "Unexpected EOF from DB Server.",  // 20017
    "General DB Server error: Check messages from the DB Server.",  // 20018
    "Attempt to initiate a new DB Server operation with results pending.",  // 20019
    "Bad token from DB Server: Datastream processing out of sync.",  // 20020
    "Illegal timeout value specified.",  // 20021
    "Error in sending out-of-band data to DB Server.",  // 20022
    "Unknown bind type passed to DB-CLIENT function.",  // 20023
    "Attempt to bind user variable to a non-existent compute row.",  // 20024
    "Illegal integer column length returned by DB Server. Legal integer lengths are 1, 2, and 4 bytes.",  // 20025
    "Column number out of range.",  // 20026
    "NULL parameter not allowed for this dboption.",  // 20027
    "Unknown variable-length datatype encountered.",  // 20028
    "Unknown fixed-length datatype encountered.",  // 20029
    "DB-CLIENT internal error: ALTFMT following ALTNAME has wrong id.",  // 20030
    "Datastream indicates that a compute column is derived from a non-existent select-list member.",  // 20031
    "Attempt to bind to a non-existent column.",  // 20032
    "User attempted a dbbind() with mismatched column and variable types.",  // 20033
    "Attempt to bind using NULL pointers.",  // 20034
    "User attempted a dbaltbind() with mismatched column and variable types.",  // 20035
    "The Server did not grant us a distributed-transaction ID.",  // 20036
    "The Server did not recognize our distributed-transaction ID.",  // 20037
    "Invalid computeid or compute column number.",  // 20038
    "No such member of 'order by' clause.",  // 20039
    "Attempt to print unknown token.",  // 20040
    "Attempt to set fields in a null loginrec.",  // 20041
    "Name too long for loginrec field.",  // 20042
    "Attempt to set unknown loginrec field.",  // 20043
    "Attempt to retrieve data from a non-existent row.",  // 20044
    "Negative starting index passed to dbstrcpy().",  // 20045
    "Attempt to bind to a NULL program variable.",  // 20046
    "DBPROCESS is dead or not enabled.",  // 20047
    "Data-conversion resulted in underflow.",  // 20048
    "Data-conversion resulted in overflow.",  // 20049
    "Attempt to convert data stopped by syntax error in source field.",  // 20050
    "Data-conversion resulted in loss of precision.",  // 20051
    "Attempt to set variable to NULL resulted in overflow.",  // 20052
    "Requested data-conversion does not exist.",  // 20053
    "dbsafestr() overflowed its destination buffer.",  // 20054
    "Unknown network type found in interface file.",  // 20055
    "Error in closing network connection.",  // 20056
    "Unable to allocate VMS event flag.",  // 20057
    "Unable to set communications timer.",  // 20058
    "Error in queueing VMS AST routine.",  // 20059
    "Unknown datatype encountered.",  // 20060
    "Attempt to call dbtsput() with an invalid timestamp.",  // 20061
    "Attempt to update the timestamp of a table which has no timestamp column.",  // 20062
    "Bad bulk-copy direction.  Must be either IN or OUT.",  // 20063
    "Attempt to use Bulk Copy with a non-existent Server table.",  // 20064
    "Illegal field number passed to bcp_control().",  // 20065
    "The table which bulk-copy is attempting to copy to a host-file is shorter than the number of rows which bulk-copy was instructed to skip.",  // 20066
    "1000 rows successfully bulk-copied to host-file.",  // 20067
    "Batch successfully bulk-copied to DB Server.",  // 20068
    "1000 rows sent to DB Server.",  // 20069
    "I/O error while reading bcp data-file.",  // 20070
    "Syntax error: only two periods are permitted in table names.",  // 20071
    "I/O error while writing bcp data-file.",  // 20072
    "Attempt to bulk-copy a NULL value into Server column %1!, which does not accept NULL values.",  // 20073
    "Attempt to bulk-copy an oversized row to the DB Server.",  // 20074
    "Attempt to bulk-copy an illegally-sized column value to the DB Server.",  // 20075
    "bcp_init() must be called before any other bcp routines.",  // 20076
    "bcp_bind(), bcp_collen(), bcp_colptr(), bcp_moretext() and bcp_sendrow() may be used only after bcp_init() has been called with the copy direction set to DB_IN.",  // 20077
    "bcp_bind(), bcp_moretext() and bcp_sendrow() may NOT be used after bcp_init() has been passed a non-NULL input file name.",  // 20078
    "For bulk copy, all variable-length data must have either a length-prefix or a terminator specified.",  // 20079
    "bcp_columns(), bcp_colfmt() and bcp_colfmt_ps() may be used only after bcp_init() has been passed a valid input file.",  // 20080
    "bcp_columns() must be called before bcp_colfmt() and bcp_colfmt_ps().",  // 20081
    "Bcp host-files must contain at least one column.",  // 20082
    "bcp_exec() may be called only after bcp_init() has been passed a valid host file.",  // 20083
    "Bcp: Unable to open host data-file.",  // 20084
    "Bcp: Unable to close host data-file.",  // 20085
    "Bcp: Unable to open error-file.",  // 20086
    "Bcp: Unable to close error-file.",  // 20087
    "I/O error while writing bcp error-file.",  // 20088
    "VMS: Unable to setmode for control_c ast.",  // 20089
    "VMS: Unable to assign channel to sys$command.",  // 20090
    "Attempt to send an empty command buffer to the DB Server.",  // 20091
    "Attempt to send too much TEXT data via the dbmoretext() call.",  // 20092
    "Attempt to use dbtxtsput() to put a new text-timestamp into a non-existent data row.",  // 20093
    "Attempt to use dbtxtsput() to put a new text-timestamp into a column whose datatype is neither MERTEXT nor MERIMAGE.",  // 20094
    "Attempt to send too much TEXT data via the bcp_moretext() call.",  // 20095
    "Attempt to set remote password would overflow the login-record's remote-password field.",  // 20096
    "Attempt to read an unknown version of BCP format-file.",  // 20097
    "Bcp: Unable to open format-file.",  // 20098
    "Bcp: Unable to close format-file.",  // 20099
    "I/O error while reading bcp format-file.",  // 20100
    "I/O error while writing bcp format-file.",  // 20101
    "Bcp: Unrecognized datatype found in format-file.",  // 20102
    "Incorrect host-column number found in bcp format-file.",  // 20103
    "Unexpected EOF encountered in BCP data-file.",  // 20104
    "Negative length-prefix found in BCP data-file.",  // 20105
    "Host-file columns may be skipped only when copying INto the Server.",  // 20106
    "It's illegal to use BCP terminators with program variables other than MERCHAR, MERBINARY, MERTEXT, or MERIMAGE.",  // 20107
    "The BCP hostfile '%1!' contains only %2! rows. Skipping all of these rows is not allowed.",  // 20108
    "NULL DBPROCESS pointer passed to DB client.",  // 20109
    "Unable to get current username from operating system.",  // 20110
    "The BCP hostfile '%1!' contains only %2! rows. It was impossible to read the requested %3! rows.",  // 20111
    "Attempt to set maximum number of DBPROCESSes lower than 1.",  // 20112
    "It is illegal to pass -1 to dbrpcparam() for the datalen of parameters which are of type MERCHAR, MERVARCHAR, MERBINARY, MERVARBINARY, MERSENSITIVITY, or MERBOUNDARY.",  // 20113
    "When passing a MERINTN, MERDATETIMN, MERMONEYN, or MERFLTN parameter via dbrpcparam(), it's necessary to specify the parameter's maximum or actual length, so that DB client can recognize it as a MERINT1, MERINT2, MERINT4, MERMONEY, MERMONEY4, etc.",  // 20114
    "Unknown option passed to dbsetopt().",  // 20115
    "The current row is not a result of compute clause %1!, so it is illegal to attempt to extract that data from this row.",  // 20116
    "dbreadtext() may not be used to receive the results of a query which contains a COMPUTE clause.",  // 20117
    "dbreadtext() may only be used to receive the results of a query which contains a single result column.",  // 20118
    "Internal software error: Unknown connection result reported by dbpasswd().",  // 20119
    "The RPC facility is available only when using a DB Server whose version number is 4.0 or greater.",  // 20120
    "Option is not available with current Server.",  // 20121
    "Bcp: Row number for the first row to be copied cannot be greater than the row number for the last row to be copied.",  // 20122
    "Attempt to set column width less than 1.",  // 20123
    "Unrecognized format encountered in dbstrbuild().",  // 20124
    "Unrecognized custom-format parameter-type encountered in dbstrbuild().",  // 20125
    "Attempt to install too many custom formats via dbfmtinstall().",  // 20126
    "Error in attempting to install custom format.",  // 20127
    "Error in attempting to determine the size of a pair of translation tables.",  // 20128
    "Error in attempting to load a pair of translation tables.",  // 20129
    "Error in attempting to perform a character-set translation.",  // 20130
    "A character-set translation overflowed its destination buffer while using bcp to copy data from a host-file to the DB Server.",  // 20131
    "Error in attempting to find the Merrow home directory.",  // 20132
    "Error in attempting to open a localization file.",  // 20133
    "Error in attempting to read datetime information from a localization file.",  // 20134
    "Unable to read copyright information from the dblib localization file.",  // 20135
    "Error in attempting to read the dblib.loc localization file.",  // 20136
    "Unable to read money-format information from the dblib localization file.",  // 20137
    "Unable to read error mnemonic from the dblib localization file.",  // 20138
    "Unable to read error string from the dblib localization file.",  // 20139
    "Unable to read error information from the dblib localization file.",  // 20140
    "Warning: an out-of-range error-number was encountered in dblib.loc. The maximum permissible error-number is defined as DBERRCOUNT in merdb.h.",  // 20141
    "Invalid sort-order information found.",  // 20142
    "Illegal datetime column length returned by DB Server. Legal datetime lengths are 4 and 8 bytes.",  // 20143
    "Illegal money column length returned by DB Server. Legal money lengths are 4 and 8 bytes.",  // 20144
    "Illegal floating-point column length returned by DB Server. Legal floating-point lengths are 4 and 8 bytes.",  // 20145
    "Unrecognized protocol version received from DB Server.",  // 20146
    "Bcp: Unable to create format-file.",  // 20147
    " Attempt to do data-conversion with NULL destination variable.",  // 20148
    "Out-of-range datepart constant.",  // 20149
    "Cannot have negative component in date in numeric form",  // 20150
    "Month values must be between 1 and 12.",  // 20151
    "Day values must be between 1 and 7.",  // 20152
    "Cannot pass dbsetnull() a NULL bindval pointer.",  // 20153
    "Called dbspid() with a NULL dbproc.",  // 20154
    "Called dbdatecrack() with a NULL datetime parameter.",  // 20155
    "The xlt_tosrv and xlt_todisp parameters to dbfree_xlate() were NULL.",  // 20156
    "Warning:  the xlt_todisp parameter to dbfree_xlate() was NULL.  The space associated with the xlt_tosrv parameter has been freed.",  // 20157
    "Warning:  the xlt_tosrv parameter to dbfree_xlate() was NULL.  The space associated with the xlt_todisp parameter has been freed.",  // 20158
    "Incorrect number of arguments given to DB client.",  // 20159
    "Invalid argument type  given to Hyper/DB client.",  // 20160
    "General operating system error.",  // 20161
    "Wrong resource type or length given for dbpage[) operation.",  // 20162
    "Option not allowed.",  // 20163
    "Failure to send the expected amount of TEXT or IMAGE data via dbmoretext().",  // 20164
    "Invalid resource type  given to Hyper/DB client.",  // 20165
    "Can not open resource file.",  // 20166
    "Read/Write/Append mode denied on file.",  // 20167
    "Could not select or copy field specified.",  // 20168
    "Attempt to send zero length TEXT or IMAGE to dataserver via dbwritetext().",  // 20169
    "VMS: The file being opened must be a stream_lf.",  // 20170
    "Login incorrect: operating system login security level is not within the range of the Secure DB Server.",  // 20171
    "Login incorrect: login security level as entered does not agree with your operating system level.",  // 20172
    "Program not linked with specified network library.",  // 20173
    "Called dbrecvpassthru() with a NULL handle parameter.",  // 20174
    "Called dbsendpassthru() with a NULL buf parameter.",  // 20175
    "Called %s with a NULL %s parameter.",  // 20176
    "An event handler must installed before a notification request can be made.",  // 20177
    "Called dbregwatch() with a bad options parameter.",  // 20178
    "Called dbreghandle() with a NULL handler parameter.",  // 20179
    "DBPROCESS is being used for another transaction.",  // 20180
    "Must initiate a transaction before calling dbregparam().",  // 20181
    "Must call dbreginit() before dbregexec().",  // 20182
    "Must call dbnpdefine() before dbnpcreate().",  // 20183
    "Attempted to cancel unrequested event notification.",  // 20184
    "Unsolicited event notification received.",  // 20185
    "Must call dbrpcinit() before dbrpcparam() or dbrpcsend().",  // 20186
    "No MERTEXT or MERIMAGE parameters were defined.",  // 20187
    "Called dbmoretext() with a bad size parameter.",  // 20188
    "Attempted to turn off a trace flag that was not on.",  // 20189
    "DB client internal error - trace structure not found.",  // 20190
    "dbtracestring() may only be called from a printfunc().",  // 20191
    "Bad numbytes parameter passed to dbtracestring().",  // 20192
    "In DBSETLPACKET(), the packet size parameter must be between 0 and 999999.",  // 20193
    "%1! is an illegal value for the %2! parameter of %3!.",  // 20194
    "Money arithmetic resulted in overflow in function %1!.",  // 20195
    "Attempt to divide by $0.00 in function %1!.",  // 20196
    "Synchronous I/O attempted at AST level. ",  // 20197
    "DBSETNOTIFS cannot be called if connections are present.",  // 20198
    "There is already an active dbpoll().",  // 20199
    "DBPOLL can not be called when registered procedure notifications have been disabled.",  // 20200
    "Packet size of %1! not supported -- size of %2! used instead.",  // 20201
    "Secure Server function not supported in this version.",  // 20202
    "DB client capabilities not accepted by the Server.",  // 20203
    "Functionality not supported at the specified version level.",  // 20204
    "Response function address passed to dbresponse() must be non-NULL.",  // 20205
    "Illegal version level specified.",  // 20206
    "Function can be called only once.",  // 20207
    "value parameter for dbprcparam() can be NULL, only if the datalen parameter is 0.",  // 20208
    "RPC parameters cannot be of type Text/Image.",  // 20209
    "Negotiated login attempt failed.",  // 20210
    "Security labels should be less than 256 characters long.",  // 20211
    "Unknown message-id in MSG datastream.",  // 20212
    "Unexpected capability type in CAPABILITY datastream.",  // 20213
    "Bad numbytes parameter passed to dbstrcpy().",  // 20214
    "Bad bindlen parameter passed to dbsetnull().",  // 20215
    "Illegal precision specified.",  // 20216
    "Illegal scale specified.",  // 20217
    "Source field value is not within the domain of legal values.",  // 20218
    "Internal Conversion error.",  // 20219
    "Datatype is not supported by the server.",  // 20220
    "Unknown character-set encountered.",  // 20221
    "Password Encryption failed.",  // 20222
    "Challenge-Response function failed.",  // 20223
    "Illegal precision returned by the server.",  // 20224
    "Illegal scale returned by the server.",  // 20225
    "Invalid numeric column length returned by the server.",  // 20226
    "Invalid decimal column length returned by the server.",  // 20227
    "bcp_moretext() may be used only when there is at least one text or image column in the server table.",  // 20228
    "Column %1!: Illegal precision value encountered.",  // 20229
    "bcp_bind(): if varaddr is NULL, prefixlen must be 0 and no terminator should be specified.",  // 20230
    "bcp_bind(): if varaddr is NULL and varlen greater than 0, the table column type must be MERTEXT or MERIMAGE and the program variable type must be MERTEXT, MERCHAR, MERIMAGE or MERBINARY.",  // 20231
    "column number %1!: if varaddr is NULL and varlen greater than 0, the table column type must be MERTEXT or MERIMAGE and the program variable type must be MERTEXT, MERCHAR, MERIMAGE or MERBINARY.",  // 20232
    "bcp_colfmt(): If table_colnum is 0, host_type cannot be 0.",  // 20233
    "varlen should be greater than or equal to -1.",  // 20234
    "host_collen should be greater than or equal to -1.",  // 20235
    "Illegal prefix length. Legal values are 0, 1, 2 or 4.",  // 20236
    "Illegal prefix length. Legal values are -1, 0, 1, 2 or 4.",  // 20237
    "bcp_init(): tblname parameter cannot be NULL.",  // 20238
    "bcp_init(): tblname parameter is too long.",  // 20239
    "bcp_sendrow() may NOT be called unless all text data for the previous row has been sent using bcp_moretext().",  // 20240
    "bcp protocol error: returned column count differs from the actual number of columns received.",  // 20241
    "bcp protocol error: expected default information and got none.",  // 20242
    "bcp protocol error: expected number of defaults differs from the actual number of defaults received.",  // 20243
    "bcp protocol error: default column id and actual column id are not same",  // 20244
    "bcp protocol error:  default value received for column that does not have default.",  // 20245
    "bcp protocol error:  default value datatype differs from column datatype.",  // 20246
    "bcp protocol error: more than one row of default information received.",  // 20247
    "bcp protocol error: unexpected set of results received.",  // 20248
    "bcp protocol error: illegal default column id received.",  // 20249
    "bcp protocol error: unknown column datatype.",  // 20250
    "bcp protocol error: illegal datatype length received.",  // 20251
    "bcp protocol error: illegal precision value received.",  // 20252
    "bcp protocol error: illegal scale value received.",  // 20253
    "Illegal value for type parameter given to %1!.",  // 20254
    "Cursor statement generated no results.",  // 20255
    "One of the tables involved in the cursor statement does not have a unique index.",  // 20256
    "A view cannot be joined with another table or a view in a cursor statement.",  // 20257
    "The view used in the cursor statement does not include all the unique index columns of the underlying tables.",  // 20258
    "Only fully keyset driven cursors can have 'order by', ' group by', or 'having' phrases.",  // 20259
    "Row buffering should not be turned on when using cursor APIs.",  // 20260
    "The DBNOAUTOFREE option should not be turned on when using cursor APIs.",  // 20261
    "Cursor statement contains one of the disallowed phrases 'compute', 'union', 'for browse', or 'select into'.",  // 20262
    "Aggregate functions are not allowed in a cursor statement.",  // 20263
    "Fetch types RANDOM and RELATIVE can only be used within the keyset of keyset driven cursors.",  // 20264
    "Fetch type LAST requires fully keyset driven cursors.",  // 20265
    "Backward scrolling cannot be used in a forward scrolling cursor.",  // 20266
    "Row number to be fetched is outside valid range.",  // 20267
    "Keyset cannot be scrolled backward in mixed cursors with a previous fetch type.",  // 20268
    "Data locking or modifications cannot be made in a READONLY cursor.",  // 20269
    "The DBNOCOUNT option should not be turned on when doing updates or deletes with dbcursor().",  // 20270
    "Table name must be determined in operations involving data locking or modifications.",  // 20271
    "Update or insert operations cannot use bind variables when binding type is NOBIND.",  // 20272
    "A WHERE clause is not allowed in a cursor update or insert.",  // 20273
    "A SET clause is required for a cursor update or insert.",  // 20274
    "Update or insert operations using bind variables require single table cursors.",  // 20275
    "Update or delete operation did not affect any rows.",  // 20276
    "Invalid cursor statement.",  // 20277
    "The entire keyset must be defined for KEYSET type cursors.",  // 20278
    "Cursor bind must be called prior to dbcursor invocation.",  // 20279
    "Unknown fetch type.",  // 20280
    "The cursor handle is invalid.",  // 20281
    "Multiple rows are returned, only one is expected while retrieving dbname.",  // 20282
    "No rows returned, at least one is expected.",  // 20283
    "No unique index found.",  // 20284
    "No OPTCC was found.",  // 20285
    "The order of clauses must be from, where, and order by.",  // 20286
    "Table name is NULL.",  // 20287
    "No unique keys associated with this view.",  // 20288
    "There is no valid address associated with this bind.",  // 20289
    "Security labels require both a name and a value.",  // 20290
    "Parameter of type MERVOID cannot be a return parameter.",  // 20291
    "Unable to close interfaces file.",  // 20292
    "Boolean parameters must be TRUE or FALSE.",  // 20293
    "The %1! option cannot be set while a bulk copy operation is in progress.",  // 20294
    "An illegal value was returned from the security label handler.",  // 20295
    "Timed out waiting for server to acknowledge attention.",  // 20296
    "Batch failed in bulk-copy to DB Server.",  // 20297
};

}  // namespace

const char* db__errtext(int dberr) {
  if (dberr < 20000 || dberr > 20297) return nullptr;
  return kTexts[dberr - 20000];
}
