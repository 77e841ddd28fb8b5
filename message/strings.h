#pragma once

#include <string>
#include <vector>

// Byte-string helpers of the message library. Strings are raw bytes; none of
// these functions reports an error, and each copes with any input (malformed
// hexadecimal or Base64 text included) without reading out of bounds.

// Tokens of s separated by runs of any of the characters in delims. Trailing
// delimiters give nothing; leading ones give one empty first token.
std::vector<std::string> split(const std::string& s, const std::string& delims);

// The parts in order with sep between neighbours.
std::string join(const std::vector<std::string>& parts, const std::string& sep);

// Replaces every occurrence of from by to, left to right, resuming after each
// inserted copy (so to may contain from). An empty from changes nothing.
void replace(std::string& s, const std::string& from, const std::string& to);

// &, ", < and > as entities; the apostrophe is left alone.
std::string html_escape(const std::string& s);

// Puts a backslash before every occurrence of each character of chars that
// is not already escaped by a single backslash.
void backslash_escape(std::string& s, const std::string& chars);

// Escapes backslash, ampersand, apostrophe and slash for a sed replacement.
std::string sed_escape(const std::string& s);

std::string str_lc(const std::string& s);
std::string str_uc(const std::string& s);

// Removes leading (left) and trailing (right) blanks and tabs.
std::string str_trim(const std::string& s, bool left = true, bool right = true);

// Two lower-case hexadecimal digits per byte, high nibble first.
std::string str_to_hex(const std::string& data);

// Hexadecimal digits (either case) in pairs to bytes; other characters are
// skipped without breaking a pair; a final unpaired digit is dropped.
std::string hex_to_str(const std::string& text);

// Base64 with the standard alphabet and no line breaks; pad adds '=' up to a
// multiple of four characters.
std::string str_to_base64(const std::string& data, bool pad = true);

// Base64 decoding; trailing '=' are optional. Any other character outside
// the alphabet makes the whole result empty.
std::string base64_to_str(const std::string& text);
