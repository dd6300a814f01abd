// Clearing memory that held a pass phrase or plain text before it is given back.
#pragma once

#include <string>

namespace kestrova::pgp {

// Overwrites the characters with zeros in a way the compiler keeps, then empties the string.
void wipeString(std::string& text);
void wipeString(std::u16string& text);

} // namespace kestrova::pgp
