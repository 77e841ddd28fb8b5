// The Params constructors that read the one-line text form live in their own
// object file: a program that never builds a set from text does not pull in
// the text parser.

#include "message/params.h"

Params::Params(const char* text)
{
    if (text)
        parse_string(text);
}

Params::Params(const std::string& text)
{
    parse_string(text);
}
