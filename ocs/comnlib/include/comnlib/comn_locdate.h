// Date, money and numeric locale information of the common library: the
// date record of a locale's time category, read from its language's
// common.loc and cached per language, and the accessors of the date
// conversions (built-in English values when no locale is set).  Money and
// numeric information are stubs.
#pragma once

#include "comnlib/comn_loc.h"

int com_intl_dateorder_id(COMN_CONTEXT* ctx, const COMN_DATAFORMAT* fmt);
const char* const* com_intl_months(COMN_CONTEXT* ctx, const COMN_DATAFORMAT* fmt);
const char* const* com_intl_shortmonths(COMN_CONTEXT* ctx, const COMN_DATAFORMAT* fmt);
const char* const* com_intl_days(COMN_CONTEXT* ctx, const COMN_DATAFORMAT* fmt);
int com_intl_firstday(COMN_CONTEXT* ctx, const COMN_DATAFORMAT* fmt);
const char* com_intl_dateorder(COMN_CONTEXT* ctx, const COMN_DATAFORMAT* fmt);
int com_intl_is12hour(COMN_CONTEXT* ctx, const COMN_DATAFORMAT* fmt);
int com_intl_convt_firstday(int day, int from, int to);

int comn_intl_month(COMN_CONTEXT* ctx, comn_locale* loc, int selector, int month, char* buf,
                    int buflen, int* outlen);
int comn_intl_day(COMN_CONTEXT* ctx, comn_locale* loc, int selector, int day, char* buf,
                  int buflen, int* outlen);
int comn_intl_dateorder(COMN_CONTEXT* ctx, comn_locale* loc, char* buf, int buflen, int* outlen);
int comn_intl_is12hour(COMN_CONTEXT* ctx, comn_locale* loc);
int comn_intl_get_dtfmt(COMN_CONTEXT* ctx, comn_locale* loc);
int comn_intl_set_dtfmt(COMN_CONTEXT* ctx, comn_locale* loc, const int* dtfmt);

int comn__read_common(COMN_CONTEXT* ctx, comn_loccache* entry, char* pathbuf, int pathlen);
int com__copy_common_info(const comn_loccache* src, comn_loccache* dst);
int comn__copy_dtinfo(const comn_dtinfo* src, comn_dtinfo* dst);
void comn__free_dtinfo(comn_dtinfo* rec);
void comn_intl_dt_drop(COMN_CONTEXT* ctx);
comn_dtinfo* comn__scan_cache_dt(COMN_CONTEXT* ctx, const comn_object* id);
int comn__read_daymon(INTL_LOCFILE* lf, int count, char** ptrs, std::int32_t* lens);
int com__get_dateorder_id(const char* text);
int com__map_dateorder_id_to_fmt(int id);

int comn__read_dtfile(COMN_CONTEXT* ctx);
int comn__read_monfile(COMN_CONTEXT* ctx);
int comn__read_numfile(COMN_CONTEXT* ctx);
void* comn__scan_cache_mon(COMN_CONTEXT* ctx, const comn_object* id);
void* comn__scan_cache_num(COMN_CONTEXT* ctx, const comn_object* id);
void comn__free_moninfo(void* rec);
void comn__free_numinfo(void* rec);
void comn_intl_mon_drop(COMN_CONTEXT* ctx);
void comn_intl_num_drop(COMN_CONTEXT* ctx);
