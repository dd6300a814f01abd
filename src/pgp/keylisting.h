// gpg's colon listing of keys read into records, and the words and dates a user reads about a
// key: grouped fingerprints, algorithm names, validity and the reasons gpg gives.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestrova::pgp {

struct Key
{
    std::string fingerprint;
    std::string keyId;
    char validity = '-';
    std::string capabilities;
    int algorithm = 0;
    int bits = 0;
    std::string curve;
    long long created = 0;
    long long expires = 0;
    std::vector<std::string> userIds;
    std::vector<std::string> subkeyIds;
    std::vector<std::string> keygrips; // of the primary key and its subkeys, in listing order
};

// The keys of a "--with-colons --fixed-list-mode --with-fingerprint" listing; with
// "--with-keygrip" their keygrips too.
[[nodiscard]] std::vector<Key> parseKeyListing(std::string_view listing);

// A decimal field of a listing or status line; 0 when it does not begin with a digit.
[[nodiscard]] long long numberOr0(const std::string& field);

// "ABCD EF01 ..." in groups of four, two blanks in the middle of a 40-digit fingerprint.
[[nodiscard]] std::string groupedFingerprint(const std::string& fingerprint);
// Seconds since 1970 in local time (TZ), with and without the time of day.
[[nodiscard]] std::string formatTime(long long seconds);
[[nodiscard]] std::string formatDate(long long seconds);
// "rsa2048", "ed25519"...
[[nodiscard]] std::string algorithmName(const Key& key);
[[nodiscard]] std::string primaryUserId(const Key& key);
// How a key is named in a message: its fingerprint and its first user ID, one line.
[[nodiscard]] std::string keyLine(const Key& key);
// What a validity letter of the listing means, for a sentence "the key is ...".
[[nodiscard]] std::string validityWord(char validity);
// The reason code of INV_RECP and INV_SGNR in words.
[[nodiscard]] std::string invalidKeyReason(const std::string& code);

} // namespace kestrova::pgp
