// Dates: a Modified Julian Date in days with the local time of day as its
// fraction (51544.0 is 1 January 2000, midnight); -1.0 means no valid date.
// Valid for the years 1901 to 2099.  Parsers never report; they return -1.0.
#pragma once

// month-day-year[-hh:mm[:ss]], the month a unique abbreviation in any case.
double get_dash_date(const char* text);

// month day year [hh:mm[:ss]] [am|pm] (the database's date text).
double get_merrow_date(const char* text);

// day/month/year.
double get_slash_date(const char* text);

// yyyymmdd:hhmmss.
double get_orvo_date(const char* text);

// The current local time.
double get_now();

// "Mon d yyyy", followed by " hh:mm:ss am|pm" unless the time of day
// (rounded to the nearest second) is midnight; cut to maxch.  A negative
// (or non-finite, or far out of range) date is fatal error 12.
void put_merrow_date(double date, char* out, int maxch);

// "Mon d yyyy"; cut to maxch.  Fails as put_merrow_date does.
void put_short_date(double date, char* out, int maxch);

// The shared validation and conversion: year (two-digit years 0-49 are
// 2000-2049, 50-99 are 1950-1999, negative years gain 1900), month, day,
// hour, minute, second; -1.0 when out of range.
double date_from_fields(int year, int month, int day, int hour, int minute, int second);

// The value of a number field: its decimal value when it holds only the
// digits 0-9 (at most 9 of them), 0 when empty, else -1.
int date_number(const char* field);
