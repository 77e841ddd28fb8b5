#pragma once

#include <string>

// Conversions between values and their text form, shared by variant and the
// encodings. They never fail: text that is not a number reads as zero.

std::string int_to_str(int v);           // "%d"
std::string uint_to_str(unsigned int v); // "%u"
std::string float_to_str(float v);       // "inf", "-inf", otherwise "%3f"
std::string bool_to_str(bool v);         // "true" / "false"

int str_to_int(const std::string& s);           // "%d", 0 when no number
unsigned int str_to_uint(const std::string& s); // "%u", so "-1" is 4294967295
float str_to_float(const std::string& s);       // "inf", "-inf", otherwise "%f"
bool str_to_bool(const std::string& s);         // exactly "true"
