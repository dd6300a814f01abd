#include "pgp/secret.h"

#include <string.h>

namespace kestrova::pgp {

void wipeString(std::string& text)
{
    ::explicit_bzero(text.data(), text.size());
    text.clear();
}

void wipeString(std::u16string& text)
{
    ::explicit_bzero(text.data(), text.size() * sizeof(char16_t));
    text.clear();
}

} // namespace kestrova::pgp
