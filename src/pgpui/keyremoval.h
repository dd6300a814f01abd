// The question before "鍵削除" removes a public key: which key the typed user ID names on the
// key ring the command will use, and whether the user means to remove it.
#pragma once

#include "pgp/batch.h"

#include <QString>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QWidget;

namespace kestrova::pgpui {

// A public key of the key ring as gpg lists it.
struct RingKey
{
    std::string fingerprint;
    std::vector<std::u16string> userIds;
    bool hasSecret = false; // a secret key goes with it
};

// The key-ring folder a PGP.EXE run of context uses: the PGP folder of the settings or the
// dialog, else the program's PGPPATH; empty: gpg's own default.
[[nodiscard]] std::string keyRingOf(std::string_view word, const pgp::BatchRunContext& context);

// The public keys of the key ring in folder (empty: gpg's default) that id names; nothing when
// gpg could not be asked.
[[nodiscard]] std::optional<std::vector<RingKey>> keysNamed(std::u16string_view id,
                                                            const std::string& folder);

// "…を削除しますか？" for key, naming its user IDs and fingerprint, with No the default.
[[nodiscard]] QString removalQuestion(const RingKey& key);

// For "remove" with the ID just typed: when id names exactly one key that the command would
// remove (one without a secret key), asks first. true: go on. Any other case goes on without a
// question, and the command itself says why it removes nothing.
[[nodiscard]] bool mayRemoveKey(std::u16string_view id, const std::string& folder, QWidget* parent);

} // namespace kestrova::pgpui
